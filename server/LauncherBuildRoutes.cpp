// "/builds/<name>": launcher builds for the self-update, served byte for byte
// from DATA/builds/<name> (an empty file gives an empty body). Fault switches:
// server/Faults.h, "builds" (a build is cut after its first third).
#include <fstream>
#include <memory>

#include "server/Faults.h"
#include "server/ServerContext.h"

namespace {

// One plain file name: no folders, no way out of DATA/builds.
bool SafeBuildName(const std::string& name) {
    if (name.empty() || name == "." || name == "..") return false;
    for (unsigned char c : name) {
        if (c == '/' || c == '\\' || c == ':' || c < 0x20) return false;
    }
    return true;
}

}  // namespace

static RouteRegistrar registrar([](httplib::Server& server, ServerContext& ctx) {
    auto faults = std::make_shared<Faults>(Faults::Read(ctx));
    server.Get(R"(/builds/([^/]+))", [&ctx, faults](const httplib::Request& req, httplib::Response& res) {
        const std::string name = req.matches[1];
        if (!SafeBuildName(name)) {
            SendError(res, 400, "bad build name");
            return;
        }
        const std::filesystem::path file = ctx.data / "builds" / name;
        std::error_code ec;
        if (!std::filesystem::is_regular_file(file, ec)) {
            SendError(res, 404, "no build named " + name);
            return;
        }
        std::ifstream in(file, std::ios::binary);
        if (!in) {
            SendError(res, 500, "cannot read build " + name);
            return;
        }
        auto body = std::make_shared<std::string>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        auto it = faults->builds.find(name);
        ServeBody(req, res, "application/octet-stream", body->size(), StringSource(body),
                  it == faults->builds.end() ? std::string() : it->second, body->size() / 3);
    });
});
