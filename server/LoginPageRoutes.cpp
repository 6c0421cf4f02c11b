// The login page the launcher shows in its embedded browser, and the plain
// password sign-in that page uses.
//   GET  /login.html       server/pages/login.html, read from the source tree at each request
//                          (found beside this file, whose build path is absolute)
//   POST /api/auth/page    {"username","password"}: the account check of the signed login;
//                          answers {"token","userId","username","webRootUrl","servers"} or {"error"}
// Every verdict is recorded as a line of OUT/login_page.jsonl.
#include <filesystem>
#include <fstream>
#include <iterator>

#include "server/AuthSession.h"

namespace {

using ordered = nlohmann::ordered_json;

void HandlePageLogin(ServerContext& ctx, const httplib::Request& req, httplib::Response& res) {
    nlohmann::json body = nlohmann::json::parse(req.body, nullptr, false);
    auto isText = [&body](const char* k) { return body.is_object() && body.contains(k) && body[k].is_string(); };
    if (!isText("username") || !isText("password")) {
        ctx.Record("login_page.jsonl", {{"ok", false}, {"reason", "body"}});
        SendError(res, 400, "Corpo da requisição inválido.");
        return;
    }
    const std::string username = body["username"].get<std::string>();
    AccountLogin login;
    std::string reason;
    if (!CheckAccountPassword(ctx, username, body["password"].get<std::string>(), login, reason)) {
        ctx.Record("login_page.jsonl", {{"ok", false}, {"reason", reason}, {"username", username}});
        SendError(res, 401, "E-mail ou senha incorretos.");
        return;
    }
    ordered answer;
    answer["token"] = IssueSessionToken(ctx, login.userId);
    answer["userId"] = login.userId;
    answer["username"] = login.username;
    answer["webRootUrl"] = login.webRootUrl;
    answer["servers"] = login.servers;
    ctx.Record("login_page.jsonl", {{"ok", true},
                                    {"username", username},
                                    {"userId", login.userId},
                                    {"token", answer["token"].get<std::string>()}});
    res.set_content(answer.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace), "application/json");
}

RouteRegistrar registrar([](httplib::Server& server, ServerContext& ctx) {
    server.Get("/login.html", [](const httplib::Request&, httplib::Response& res) {
        static const std::filesystem::path page = std::filesystem::path(__FILE__).parent_path() / "pages" / "login.html";
        std::ifstream f(page, std::ios::binary);
        if (!f) {
            SendError(res, 500, "login page missing");
            return;
        }
        res.set_content(std::string((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>()),
                        "text/html; charset=utf-8");
    });
    server.Post("/api/auth/page", [&ctx](const httplib::Request& req, httplib::Response& res) {
        HandlePageLogin(ctx, req, res);
    });
});

}  // namespace
