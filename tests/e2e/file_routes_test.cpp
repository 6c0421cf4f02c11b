// The stand-in server's file list and file routes, seen by a plain HTTP
// client: the list's exact lines, paths that must not leave the served
// folder, and the fault switches the patch-run tests rely on.
#define XXH_INLINE_ALL
#include <gtest/gtest.h>
#include <httplib.h>
#include <xxhash.h>

#include "support/Harness.h"

using namespace e2e;

namespace {

std::string Xxh64(const std::string& bytes) {
    char out[17];
    std::snprintf(out, sizeof(out), "%016llx", static_cast<unsigned long long>(XXH64(bytes.data(), bytes.size(), 0)));
    return out;
}

std::string Bytes(size_t n) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 131 + 7) & 0xFF);
    return s;
}

class FileRoutes : public ::testing::Test {
protected:
    void SetUp() override {
        dir = MakeTempDir(std::string("FileRoutes-") + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        root = dir / "root";
        data = dir / "data";
        fs::create_directories(root);
        fs::create_directories(data);
    }
    httplib::Client& Start() {
        port = FreePort();
        server = std::make_unique<StandInServer>(port, root, data, dir / "out");
        client = std::make_unique<httplib::Client>("127.0.0.1", port);
        client->set_read_timeout(2, 0);
        return *client;
    }
    fs::path dir, root, data;
    int port = 0;
    std::unique_ptr<StandInServer> server;
    std::unique_ptr<httplib::Client> client;
};

}  // namespace

TEST_F(FileRoutes, FileListHasOneLinePerRegularFileInsideTheFolder) {
    WriteFile(root / "a.txt", "hello");
    WriteFile(root / "sub" / "ção.bin", Bytes(70000));
    WriteFile(root / "empty", "");
    WriteFile(root / "a,b.txt", "a comma cannot be written in a line");
    WriteFile(dir / "outside.txt", "secret");
    fs::create_symlink(dir / "outside.txt", root / "link");
    WriteFile(data / "manifest_extra.txt", "../evil,1,0,x\r\n");

    auto res = Start().Get("/manifest.json");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200);
    EXPECT_EQ(res->body, "a.txt,5,0," + Xxh64("hello") + "\n" +
                             "empty,0,0,ef46db3751d8e999\n" +
                             "sub/ção.bin,70000,0," + Xxh64(Bytes(70000)) + "\n" +
                             "../evil,1,0,x\r\n");
}

TEST_F(FileRoutes, OnlyFilesInsideTheFolderAreServed) {
    WriteFile(root / "sub" / "ção.bin", Bytes(300000));
    WriteFile(root / "empty", "");
    WriteFile(dir / "outside.txt", "secret");
    fs::create_symlink(dir / "outside.txt", root / "link");
    fs::create_directory_symlink(dir, root / "up");
    httplib::Client& c = Start();

    auto ok = c.Get("/files/sub/%C3%A7%C3%A3o.bin");
    ASSERT_TRUE(ok);
    EXPECT_EQ(ok->status, 200);
    EXPECT_EQ(ok->body, Bytes(300000));
    auto empty = c.Get("/files/empty");
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->status, 200);
    EXPECT_EQ(empty->body, "");

    for (const char* path : {"/files/..%2Foutside.txt", "/files/%2E%2E/outside.txt", "/files/sub/..%2F..%2Foutside.txt",
                             "/files/link", "/files/up/outside.txt", "/files/%2Fetc%2Fpasswd", "/files/sub",
                             "/files/sub/", "/files/missing", "/files/sub%5C..%5C..%5Coutside.txt"}) {
        SCOPED_TRACE(path);
        auto res = c.Get(path);
        ASSERT_TRUE(res);
        EXPECT_EQ(res->status, 404);
        EXPECT_EQ(res->body.find("secret"), std::string::npos);
    }
}

TEST_F(FileRoutes, FaultSwitches) {
    const std::string body = Bytes(1 << 20);
    for (const char* name : {"truncate", "flip", "drop", "stall", "html"}) WriteFile(root / name, body);
    WriteFile(data / "faults.json",
              R"({"manifest":"drop","files":{"truncate":"truncate","flip":"flip","drop":"drop","stall":"stall","html":"html"}})");
    httplib::Client& c = Start();

    EXPECT_FALSE(c.Get("/manifest.json")) << "the file list must fail at the transport level";

    auto truncated = c.Get("/files/truncate");
    ASSERT_TRUE(truncated);
    EXPECT_EQ(truncated->body, body.substr(0, body.size() / 2));

    auto flipped = c.Get("/files/flip");
    ASSERT_TRUE(flipped);
    ASSERT_EQ(flipped->body.size(), body.size());
    size_t differing = 0;
    for (size_t i = 0; i < body.size(); ++i) differing += flipped->body[i] != body[i];
    EXPECT_EQ(differing, 1u);

    auto page = c.Get("/files/html");
    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 500);
    EXPECT_EQ(page->get_header_value("Content-Type"), "text/html");

    // Half the body, then the connection closes or nothing more comes.
    for (const char* name : {"drop", "stall"}) {
        SCOPED_TRACE(name);
        size_t received = 0;
        auto res = c.Get((std::string("/files/") + name).c_str(), [&](const char*, size_t n) {
            received += n;
            return true;
        });
        EXPECT_FALSE(res);
        EXPECT_EQ(received, body.size() / 2);
    }
}
