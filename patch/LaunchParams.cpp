#include "patch/LaunchParams.h"

#include <algorithm>
#include <utility>

std::string SpacesToPlus(const std::string& text) {
    std::string out = text;
    std::replace(out.begin(), out.end(), ' ', '+');
    return out;
}

std::string BuildLaunchParams(const LaunchParamsInput& in) {
    std::string p;
    auto entry = [&p](const char* key, const std::string& value) {
        p += key;
        p += '=';
        p += value;
        p += "&;";
    };
    entry("login_type", "3");
    entry("username", SpacesToPlus(in.username));
    entry("ip", in.ip);
    entry("ports", in.port);
    entry("userid", in.userId);
    entry("signature", in.signature);
    entry("serverid", std::to_string(in.serverId));
    entry("servername", SpacesToPlus(in.serverName));
    entry("t", std::to_string(in.now));
    entry("tarvok_userid", "0");
    entry("from_zone", "9001");
    entry("from_aid", "0");
    entry("fatigue", "1");
    for (const char* key : {"agent", "from_adid", "from_agent", "from_agentuid"}) entry(key, "");
    entry("language", "2");
    for (const char* key : {"pf", "pfkey", "openkey", "app_user_source", "app_contract_id", "invkey", "itime",
                            "iopenid", "app_custom"})
        entry(key, "");
    entry("proleid", "0");
    entry("pserverid", "");
    entry("music", "");
    entry("filemapping_md5", in.fileMappingMd5);
    return p;
}

std::wstring BuildGameCommandLine(const std::wstring& exePath, const std::wstring& params,
                                  const std::wstring& webRootUrl) {
    return L"\"" + exePath + L"\" \"" + params + L"\" \"" + webRootUrl + L"\"";
}

namespace {

LaunchValueFault FaultOf(const std::string& value, bool lastArgument) {
    if (value.find('"') != std::string::npos) return LaunchValueFault::Quote;
    if (value.find('\0') != std::string::npos) return LaunchValueFault::Nul;
    if (!lastArgument && value.find("&;") != std::string::npos) return LaunchValueFault::Separator;
    if (lastArgument && !value.empty() && value.back() == '\\') return LaunchValueFault::TrailingBackslash;
    return LaunchValueFault::None;
}

}  // namespace

UnsafeLaunchValue FindUnsafeLaunchValue(const LaunchParamsInput& in, const std::string& webRootUrl) {
    const std::pair<const char*, const std::string*> values[] = {
        {"username", &in.username}, {"ip", &in.ip},           {"ports", &in.port},
        {"userid", &in.userId},     {"signature", &in.signature}, {"servername", &in.serverName},
        {"filemapping_md5", &in.fileMappingMd5},
    };
    for (const auto& [field, value] : values) {
        LaunchValueFault fault = FaultOf(*value, false);
        if (fault != LaunchValueFault::None) return {field, fault};
    }
    LaunchValueFault fault = FaultOf(webRootUrl, true);
    if (fault != LaunchValueFault::None) return {"webroot", fault};
    return {};
}

std::string DescribeUnsafeLaunchValue(const UnsafeLaunchValue& value) {
    const char* reason = "";
    switch (value.fault) {
        case LaunchValueFault::None: return value.field + " pode ser passado";
        case LaunchValueFault::Quote: reason = " contém aspas duplas"; break;
        case LaunchValueFault::Nul: reason = " contém um caractere nulo"; break;
        case LaunchValueFault::Separator: reason = " contém o separador &;"; break;
        case LaunchValueFault::TrailingBackslash: reason = " termina em barra invertida"; break;
    }
    return value.field + reason;
}
