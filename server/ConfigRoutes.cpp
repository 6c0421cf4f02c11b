// "/api/launcher/config" from DATA/config.json (served as written, so a test
// can give odd forms), and "/api/launcher/log", each post recorded as a line
// of OUT/log_posts.jsonl.
#include <regex>

#include "server/ServerContext.h"

static RouteRegistrar registrar([](httplib::Server& server, ServerContext& ctx) {
    server.Get("/api/launcher/config", [&ctx](const httplib::Request&, httplib::Response& res) {
        std::string config = ctx.ReadDataFile("config.json");
        if (config.empty()) config = "{}";
        res.set_content(config, "application/json");
    });
    // An endpoint given with a trailing "/" posts to "//api/launcher/log"; record that too.
    server.Post(R"(/+api/launcher/log)", [&ctx](const httplib::Request& req, httplib::Response& res) {
        ctx.Record("log_posts.jsonl", {{"path", req.path},
                                       {"body", req.body},
                                       {"content_type", req.get_header_value("Content-Type")},
                                       {"user_agent", req.get_header_value("User-Agent")}});
        res.set_content("{\"ok\":true}", "application/json");
    });
});
