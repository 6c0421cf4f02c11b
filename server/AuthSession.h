#pragma once
// Session tokens of the stand-in server: issued by a login, checked by a
// refresh. A token carries its own MAC over the user id, so it survives a
// restart of the server while the data's secret stays the same.
#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>

#include "server/ServerContext.h"

std::string IssueSessionToken(const ServerContext& ctx, int64_t userId);
// Well formed, made for this user, and not listed in DATA/revoked.json.
bool SessionTokenValid(const ServerContext& ctx, int64_t userId, const std::string& token);

// A password account of DATA/accounts.json that signed in.
struct AccountLogin {
    int64_t userId = 0;
    std::string username;
    std::string webRootUrl;
    nlohmann::ordered_json servers = nlohmann::ordered_json::array();  // the account's own list, else the default
};
// The password check of the signed login: true when the account exists and
// the password matches; otherwise reason is "no account" or "wrong password".
bool CheckAccountPassword(const ServerContext& ctx, const std::string& username, const std::string& password,
                          AccountLogin& login, std::string& reason);
