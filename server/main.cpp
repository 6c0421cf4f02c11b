// vrenn_server: the stand-in launcher server for tests, benchmarks and the demo.
//   vrenn_server --port 5001 --root GAME_DIR --data DATA_DIR [--out OUT_DIR]
//   vrenn_server --hash-password SALT PASSWORD [ITERATIONS]   (account fields, see AuthRoutes.cpp)
// Listens on 127.0.0.1 only. Everything it receives that the tests check is
// written as JSON lines under OUT_DIR (default: DATA_DIR).
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>

#include "server/ServerContext.h"

std::vector<RouteGroup>& RouteGroups() {
    static std::vector<RouteGroup> groups;
    return groups;
}

void ServerContext::Record(const std::string& name, const nlohmann::json& line) {
    std::lock_guard<std::mutex> lock(recordMutex);
    std::ofstream f(out / name, std::ios::app | std::ios::binary);
    f << line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
}

std::string ServerContext::ReadDataFile(const std::string& name) const {
    std::ifstream f(data / name, std::ios::binary);
    if (!f) return "";
    return std::string((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

nlohmann::json ServerContext::ReadDataJson(const std::string& name) const {
    std::string text = ReadDataFile(name);
    if (text.empty()) return nullptr;
    return nlohmann::json::parse(text, nullptr, false);
}

void SendError(httplib::Response& res, int status, const std::string& message) {
    res.status = status;
    res.set_content(nlohmann::json{{"error", message}}.dump(), "application/json");
}

static httplib::Server* g_server = nullptr;

static void Usage() {
    std::fprintf(stderr, "usage: vrenn_server --port N --root GAME_DIR --data DATA_DIR [--out OUT_DIR]\n");
}

int PrintPasswordHash(int argc, char** argv);  // AuthRoutes.cpp

int main(int argc, char** argv) {
    if (argc >= 2 && std::string(argv[1]) == "--hash-password") return PrintPasswordHash(argc, argv);
    ServerContext ctx;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) {
                Usage();
                std::exit(2);
            }
            return argv[++i];
        };
        if (arg == "--port") ctx.port = std::atoi(value().c_str());
        else if (arg == "--root") ctx.root = value();
        else if (arg == "--data") ctx.data = value();
        else if (arg == "--out") ctx.out = value();
        else {
            Usage();
            return 2;
        }
    }
    if (ctx.data.empty() || ctx.port <= 0 || ctx.port > 65535) {
        Usage();
        return 2;
    }
    if (ctx.out.empty()) ctx.out = ctx.data;
    std::filesystem::create_directories(ctx.out);

    httplib::Server server;
    g_server = &server;
    // Recorded before the response is written (the logger runs after it), so a
    // client that has its answer always finds its request in the record.
    server.set_post_routing_handler([&ctx](const httplib::Request& req, httplib::Response& res) {
        nlohmann::json headers = nlohmann::json::object();
        for (const auto& [k, v] : req.headers) headers[k] = v;
        ctx.Record("requests.jsonl", {{"method", req.method}, {"path", req.path}, {"status", res.status},
                                      {"headers", headers}, {"body", req.body}});
    });
    server.set_error_handler([](const httplib::Request& req, httplib::Response& res) {
        if (res.body.empty()) {
            res.set_content(nlohmann::json{{"error", "no route for " + req.method + " " + req.path}}.dump(),
                            "application/json");
        }
    });
    server.set_exception_handler([](const httplib::Request&, httplib::Response& res, std::exception_ptr) {
        SendError(res, 500, "internal error");
    });
    // Address reuse for quick restarts, but never a shared port: a second server
    // on a busy port must fail rather than split the requests with the first.
    server.set_socket_options([](socket_t sock) {
        int yes = 1;
        setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof(yes));
    });
    for (auto& group : RouteGroups()) group(server, ctx);

    std::signal(SIGTERM, [](int) {
        if (g_server) g_server->stop();
    });
    std::signal(SIGINT, [](int) {
        if (g_server) g_server->stop();
    });
    if (!server.bind_to_port("127.0.0.1", ctx.port)) {
        std::fprintf(stderr, "vrenn_server: cannot listen on 127.0.0.1:%d\n", ctx.port);
        return 1;
    }
    std::printf("vrenn_server: listening on 127.0.0.1:%d\n", ctx.port);
    std::fflush(stdout);
    server.listen_after_bind();
    return 0;
}
