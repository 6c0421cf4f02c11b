// The game client's launch-parameter text and command line.
#include <gtest/gtest.h>

#include "patch/LaunchParams.h"

namespace {

LaunchParamsInput Sample() {
    LaunchParamsInput in;
    in.ip = "10.1.2.3";
    in.port = "29012";
    in.userId = "42";
    in.username = "Ana Maria Silva";
    in.signature = "sig.abc";
    in.serverName = "Vrenn Sul & Norte; \"BR\"";
    in.serverId = 7;
    in.now = 1767225600;
    in.fileMappingMd5 = "d41d8cd98f00b204e9800998ecf8427e";
    return in;
}

const char kFixedTail[] =
    "tarvok_userid=0&;from_zone=9001&;from_aid=0&;fatigue=1&;agent=&;from_adid=&;from_agent=&;"
    "from_agentuid=&;language=2&;pf=&;pfkey=&;openkey=&;app_user_source=&;app_contract_id=&;invkey=&;"
    "itime=&;iopenid=&;app_custom=&;proleid=0&;pserverid=&;music=&;";

}  // namespace

TEST(LaunchParams, AllEntriesInOrderEachFollowedBySeparator) {
    EXPECT_EQ(BuildLaunchParams(Sample()),
              std::string("login_type=3&;username=Ana+Maria+Silva&;ip=10.1.2.3&;ports=29012&;userid=42&;"
                          "signature=sig.abc&;serverid=7&;servername=Vrenn+Sul+&+Norte;+\"BR\"&;t=1767225600&;") +
                  kFixedTail + "filemapping_md5=d41d8cd98f00b204e9800998ecf8427e&;");
}

TEST(LaunchParams, ValueVariants) {
    struct Case {
        const char* name;
        void (*change)(LaunchParamsInput&);
        const char* mustContain;
    };
    const Case cases[] = {
        {"negative server id", [](LaunchParamsInput& in) { in.serverId = -1; }, "&;serverid=-1&;"},
        {"lowest server id", [](LaunchParamsInput& in) { in.serverId = INT32_MIN; }, "&;serverid=-2147483648&;"},
        {"no file-mapping archive", [](LaunchParamsInput& in) { in.fileMappingMd5.clear(); }, "&;music=&;filemapping_md5=&;"},
        {"only spaces become plus", [](LaunchParamsInput& in) { in.username = " a\tb  c%20+ "; }, "&;username=+a\tb++c%20++&;"},
        {"values not encoded", [](LaunchParamsInput& in) { in.signature = "a=b&;c/\xC3\xA7"; }, "&;signature=a=b&;c/\xC3\xA7&;"},
        {"ip keeps spaces", [](LaunchParamsInput& in) { in.ip = "a b"; }, "&;ip=a b&;"},
        {"empty values", [](LaunchParamsInput& in) { in = LaunchParamsInput{}; },
         "login_type=3&;username=&;ip=&;ports=&;userid=&;signature=&;serverid=0&;servername=&;t=0&;"},
    };
    for (const auto& c : cases) {
        LaunchParamsInput in = Sample();
        c.change(in);
        std::string p = BuildLaunchParams(in);
        EXPECT_NE(p.find(c.mustContain), std::string::npos) << c.name << ": " << p;
        EXPECT_EQ(p.substr(p.size() - 2), "&;") << c.name;
    }
}

TEST(LaunchParams, CommandLineIsThreeQuotedArguments) {
    EXPECT_EQ(BuildGameCommandLine(L"C:\\Jogo\\VrennClient.exe", L"a=1&;", L"https://web.example/"),
              L"\"C:\\Jogo\\VrennClient.exe\" \"a=1&;\" \"https://web.example/\"");
    // An empty web root leaves an empty third argument: the line ends in a space and two quotes.
    std::wstring line = BuildGameCommandLine(L"C:\\J\\VrennClient.exe", L"p", L"");
    EXPECT_EQ(line, L"\"C:\\J\\VrennClient.exe\" \"p\" \"\"");
    EXPECT_EQ(line.substr(line.size() - 3), L" \"\"");
    // Nothing inside an argument is escaped, quotes included.
    EXPECT_EQ(BuildGameCommandLine(L"x", L"servername=\"A\"&;", L"w"), L"\"x\" \"servername=\"A\"&;\" \"w\"");
}

// The values go in unescaped, so a value that the client would split
// differently refuses the start; everything else, "&" and ";" apart included,
// is passed as it is.
TEST(LaunchParams, ValuesTheCommandLineCannotCarryAreNamed) {
    using F = LaunchValueFault;
    struct Case {
        const char* name;
        void (*change)(LaunchParamsInput&);
        std::string webRoot;
        std::string field;
        F fault;
    };
    const Case cases[] = {
        {"'&' and ';' apart, spaces, UTF-8", [](LaunchParamsInput& in) { in.username = "Jo\xC3\xA3o & ;"; },
         "http://w/", "", F::None},
        {"empty values", [](LaunchParamsInput& in) { in = LaunchParamsInput{}; }, "", "", F::None},
        {"'&' ending a value before the separator",
         [](LaunchParamsInput& in) { in.username = "ana&"; in.serverName = ";sul"; }, "", "", F::None},
        {"'&;' in the web-root URL is no entry", [](LaunchParamsInput&) {}, "http://w/?a=1&;b", "", F::None},
        {"backslash inside the web-root URL", [](LaunchParamsInput&) {}, "C:\\web\\x", "", F::None},
        {"quote in the username", [](LaunchParamsInput& in) { in.username = "ana\"x"; }, "", "username", F::Quote},
        {"quote in the server name", [](LaunchParamsInput& in) { in.serverName = "\"BR\""; }, "", "servername",
         F::Quote},
        {"quote in the web-root URL", [](LaunchParamsInput&) {}, "http://w/\"", "webroot", F::Quote},
        {"separator in the username", [](LaunchParamsInput& in) { in.username = "ana&;ip=6.6.6.6"; }, "", "username",
         F::Separator},
        {"separator in the signature", [](LaunchParamsInput& in) { in.signature = "s&;"; }, "", "signature",
         F::Separator},
        {"separator in the ip", [](LaunchParamsInput& in) { in.ip = "1.2.3.4&;x=1"; }, "", "ip", F::Separator},
        {"separator in the port", [](LaunchParamsInput& in) { in.port = "1&;"; }, "", "ports", F::Separator},
        {"separator in the user id", [](LaunchParamsInput& in) { in.userId = "&;1"; }, "", "userid", F::Separator},
        {"web-root URL ending in a backslash", [](LaunchParamsInput&) {}, "http://w\\", "webroot",
         F::TrailingBackslash},
        {"web-root URL ending in two backslashes", [](LaunchParamsInput&) {}, "http://w\\\\", "webroot",
         F::TrailingBackslash},
        {"NUL in the server name", [](LaunchParamsInput& in) { in.serverName = std::string("a\0b", 3); }, "",
         "servername", F::Nul},
        {"NUL in the web-root URL", [](LaunchParamsInput&) {}, std::string("w\0", 2), "webroot", F::Nul},
        {"the first fault in command-line order",
         [](LaunchParamsInput& in) { in.serverName = "\""; in.username = "a&;"; }, "\\", "username", F::Separator},
    };
    for (const auto& c : cases) {
        LaunchParamsInput in = Sample();
        in.serverName = "Vrenn Sul & Norte; BR";
        c.change(in);
        const UnsafeLaunchValue got = FindUnsafeLaunchValue(in, c.webRoot);
        EXPECT_EQ(got.fault, c.fault) << c.name;
        EXPECT_EQ(got.field, c.field) << c.name;
    }
    EXPECT_EQ(DescribeUnsafeLaunchValue({"servername", F::Quote}), "servername contém aspas duplas");
    EXPECT_EQ(DescribeUnsafeLaunchValue({"username", F::Separator}), "username contém o separador &;");
    EXPECT_EQ(DescribeUnsafeLaunchValue({"webroot", F::TrailingBackslash}), "webroot termina em barra invertida");
}
