#include "patch/LaunchParams.h"

#include <algorithm>

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
