// "/api/news": DATA/news.json served as written (so a test can give odd forms); "[]" without one.
#include "server/ServerContext.h"

static RouteRegistrar registrar([](httplib::Server& server, ServerContext& ctx) {
    server.Get("/api/news", [&ctx](const httplib::Request&, httplib::Response& res) {
        std::string news = ctx.ReadDataFile("news.json");
        if (news.empty()) news = "[]";
        res.set_content(news, "application/json");
    });
});
