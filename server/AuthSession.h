#pragma once
// Session tokens of the stand-in server: issued by a login, checked by a
// refresh. A token carries its own MAC over the user id, so it survives a
// restart of the server while the data's secret stays the same.
#include <cstdint>
#include <string>

#include "server/ServerContext.h"

std::string IssueSessionToken(const ServerContext& ctx, int64_t userId);
// Well formed, made for this user, and not listed in DATA/revoked.json.
bool SessionTokenValid(const ServerContext& ctx, int64_t userId, const std::string& token);
