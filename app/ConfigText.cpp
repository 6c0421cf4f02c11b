#include "app/ConfigText.h"

std::string GetConfigUrl(const std::string& baseUrl) {
    std::string base = baseUrl;
    while (!base.empty() && base.back() == '/') base.pop_back();
    return base + "/api/launcher/config";
}

std::string ParseJsonString(const std::string& json, const std::string& key) {
    size_t at = json.find("\"" + key + "\"");
    if (at == std::string::npos) return "";
    size_t colon = json.find(':', at);
    if (colon == std::string::npos) return "";
    size_t open = json.find('"', colon);
    if (open == std::string::npos) return "";
    size_t close = json.find('"', open + 1);
    if (close == std::string::npos) return "";
    return json.substr(open + 1, close - open - 1);
}

bool GoogleSectionEnabled(const std::string& json) {
    if (json.find("\"googleOAuthEnabled\":false") != std::string::npos) return false;
    if (json.find("\"googleOAuthEnabled\":true") != std::string::npos) return true;
    return !ParseJsonString(json, "googleClientId").empty();
}

bool SelfUpdateWanted(const std::string& version, const std::string& downloadUrl) {
    return !version.empty() && version != kLauncherVersion && !downloadUrl.empty();
}

std::wstring ExeDirFromModulePath(const std::wstring& modulePath) {
    size_t cut = modulePath.find_last_of(L"\\/");
    std::wstring dir = cut == std::wstring::npos ? modulePath : modulePath.substr(0, cut);
    return dir + L"/";
}
