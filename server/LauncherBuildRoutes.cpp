// "/builds/<name>": launcher builds for the self-update, served byte for byte
// from DATA/builds/<name> (an empty file gives an empty body).
#include <fstream>

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
    server.Get(R"(/builds/([^/]+))", [&ctx](const httplib::Request& req, httplib::Response& res) {
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
        std::string body((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        res.set_content(body, "application/octet-stream");
    });
});
