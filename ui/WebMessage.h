#pragma once
// Reading the login page's messages (their JSON form, looked up as text).
// No Windows header.
#include <string>
#include <vector>

#include "patch/PatchTypes.h"

// The value after the first quoted key: an optional opening quote, then up to
// the next unescaped quote; a backslash copies the next character literally.
std::string WVExtractStr(const std::string& json, const std::string& key);

// What one message asks for, and the session it carries when it is a login.
struct PageMessage {
    enum class Kind {
        Ignored,        // neither "vrenn-google" nor "vrenn-auth"
        GoogleSignIn,   // "vrenn-google" anywhere, whatever else it holds
        Refused,        // "vrenn-auth" without "signature" or "token"
        Login,
    };
    Kind kind = Kind::Ignored;
    std::string token;       // "signature", else "token"
    std::string userId;      // "0" when absent
    std::string username;    // may be empty
    std::string webRootUrl;
    std::vector<GameServer> servers;  // from the first quoted "servers" on
};

PageMessage ReadPageMessage(const std::string& json);
