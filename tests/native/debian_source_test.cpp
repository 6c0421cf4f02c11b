// The set-up's source entry for Dear ImGui follows the machine's own Debian
// source (host and keyring), and stops with a clear message when there is none.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct Result {
    int exitCode = -1;
    std::string out, err;
};

std::string Slurp(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

// A fake /etc with os-release and the given apt files (path relative to etc/apt).
class FakeEtc {
public:
    explicit FakeEtc(const std::vector<std::pair<std::string, std::string>>& files) {
        root = fs::temp_directory_path() / ("vrenn_debsrc_" + std::to_string(getpid()) + "_" + std::to_string(++count));
        fs::remove_all(root);
        fs::create_directories(root / "apt" / "sources.list.d");
        std::ofstream(root / "os-release") << "ID=debian\nVERSION_CODENAME=bookworm\n";
        for (const auto& [name, text] : files) std::ofstream(root / "apt" / name, std::ios::binary) << text;
    }
    ~FakeEtc() {
        std::error_code ec;
        fs::remove_all(root, ec);
    }
    Result Run() const {
        const fs::path out = root / "out.txt", err = root / "err.txt";
        const std::string cmd = "bash '" VRENN_SOURCE_DIR "/scripts/debian-source.sh' '" + root.string() + "' >'" +
                                out.string() + "' 2>'" + err.string() + "'";
        const int status = std::system(cmd.c_str());
        Result r;
        r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        r.out = Slurp(out);
        r.err = Slurp(err);
        return r;
    }
    fs::path root;

private:
    static inline int count = 0;
};

std::string Entry(const std::string& uri, const std::string& keyring) {
    std::string e = "Types: deb-src\nURIs: " + uri + "\nSuites: sid\nComponents: main\n";
    if (!keyring.empty()) e += "Signed-By: " + keyring + "\n";
    return e;
}

const char* kKeyring = "/usr/share/keyrings/debian-archive-keyring.gpg";

TEST(DebianSource, TakesHostAndKeyringOfTheConfiguredDebianSource) {
    struct Case {
        const char* why;
        std::vector<std::pair<std::string, std::string>> files;
        std::string expected;
    } cases[] = {
        {"deb822 mirror",
         {{"sources.list.d/debian.sources",
           "Types: deb\n# http://snapshot.example/archive\nURIs: http://mirror.example.org/debian\n"
           "Suites: bookworm bookworm-updates\nComponents: main\nSigned-By: " +
               std::string(kKeyring) + "\n"}},
         Entry("http://mirror.example.org/debian", kKeyring)},
        {"security stanza first, archive second",
         {{"sources.list.d/debian.sources",
           "Types: deb\nURIs: http://mirror.example.org/debian-security\nSuites: bookworm-security\n"
           "Components: main\n\nTypes: deb deb-src\nURIs: https://mirror.example.org/debian\nSuites: bookworm\n"
           "Components: main contrib\nSigned-By: /etc/apt/keyrings/archive.gpg\n"}},
         Entry("https://mirror.example.org/debian", "/etc/apt/keyrings/archive.gpg")},
        {"disabled stanza skipped, one-line list used",
         {{"sources.list.d/a.sources",
           "Types: deb\nURIs: http://off.example/debian\nSuites: bookworm\nComponents: main\nEnabled: no\n"},
          {"sources.list", "# deb http://commented.example/debian bookworm main\n"
                           "deb [arch=amd64 signed-by=/k/debian.gpg] http://ftp.example.br/debian/ bookworm main\n"}},
         Entry("http://ftp.example.br/debian/", "/k/debian.gpg")},
        {"one-line form without options, suite alias",
         {{"sources.list.d/main.list", "deb http://deb.example/debian stable main\n"}},
         Entry("http://deb.example/debian", "")},
        {"third-party repositories and our own deb-src entry are not the archive",
         {{"sources.list.d/node.sources",
           "Types: deb\nURIs: https://node.example/node_20.x\nSuites: nodistro\nComponents: main\n"},
          {"sources.list.d/vrenn-imgui-src.sources", Entry("http://stale.example/debian", kKeyring)},
          {"sources.list.d/cloud.list", "deb https://cloud.example/apt cloud-sdk-bookworm main\n"},
          {"sources.list.d/debian.sources",
           "Types: deb\nURIs: http://mirror.example.org/debian\nSuites: bookworm\nComponents: main\n"}},
         Entry("http://mirror.example.org/debian", "")},
        {"embedded key block kept whole",
         {{"sources.list.d/debian.sources",
           "Types: deb\nURIs: http://mirror.example.org/debian\nSuites: bookworm\nComponents: main\n"
           "Signed-By:\n -----BEGIN PGP PUBLIC KEY BLOCK-----\n .\n mQINBF\n -----END PGP PUBLIC KEY BLOCK-----\n"}},
         "Types: deb-src\nURIs: http://mirror.example.org/debian\nSuites: sid\nComponents: main\nSigned-By: \n"
         " -----BEGIN PGP PUBLIC KEY BLOCK-----\n .\n mQINBF\n -----END PGP PUBLIC KEY BLOCK-----\n"},
    };
    for (const auto& c : cases) {
        FakeEtc etc(c.files);
        const Result r = etc.Run();
        EXPECT_EQ(r.exitCode, 0) << c.why << "\n" << r.err;
        EXPECT_EQ(r.out, c.expected) << c.why;
    }
}

TEST(DebianSource, NoDebianSourceStopsAndSaysWhatToAdd) {
    const std::vector<std::vector<std::pair<std::string, std::string>>> machines = {
        {},
        {{"sources.list.d/node.sources",
          "Types: deb\nURIs: https://node.example/node_20.x\nSuites: nodistro\nComponents: main\n"},
         {"sources.list.d/security.sources",
          "Types: deb\nURIs: http://deb.example/debian-security\nSuites: bookworm-security\nComponents: main\n"}},
    };
    for (const auto& files : machines) {
        FakeEtc etc(files);
        const Result r = etc.Run();
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find("no Debian package source is configured"), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("Suites: bookworm"), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("URIs: "), std::string::npos) << r.err;
    }
}

}  // namespace
