#include "ui/WebMessage.h"

#include "patch/PatchManager.h"

std::string WVExtractStr(const std::string& json, const std::string& key) {
    const std::string quoted = "\"" + key + "\"";
    size_t at = json.find(quoted);
    if (at == std::string::npos) return "";
    size_t colon = json.find(':', at + quoted.size());
    if (colon == std::string::npos) return "";
    size_t i = colon + 1;
    while (i < json.size() && (json[i] == ' ' || json[i] == '\t')) ++i;
    if (i < json.size() && json[i] == '"') ++i;
    std::string out;
    while (i < json.size()) {
        char c = json[i];
        if (c == '"') break;
        if (c == '\\' && i + 1 < json.size()) {
            out += json[i + 1];
            i += 2;
            continue;
        }
        out += c;
        ++i;
    }
    return out;
}

PageMessage ReadPageMessage(const std::string& json) {
    PageMessage message;
    if (json.find("vrenn-google") != std::string::npos) {
        message.kind = PageMessage::Kind::GoogleSignIn;
        return message;
    }
    if (json.find("vrenn-auth") == std::string::npos) return message;

    message.token = WVExtractStr(json, "signature");
    if (message.token.empty()) message.token = WVExtractStr(json, "token");
    if (message.token.empty()) {
        message.kind = PageMessage::Kind::Refused;
        return message;
    }
    message.kind = PageMessage::Kind::Login;
    message.userId = WVExtractStr(json, "userId");
    if (message.userId.empty()) message.userId.assign(1, '0');
    message.username = WVExtractStr(json, "username");
    message.webRootUrl = WVExtractStr(json, "webRootUrl");
    size_t at = json.find("\"servers\"");
    if (at != std::string::npos) PatchManager::ParseServersJson(json.substr(at), message.servers);
    return message;
}
