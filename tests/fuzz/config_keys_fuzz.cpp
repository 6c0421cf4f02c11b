// The launcher configuration: key lookups, the Google switch, the update
// decision and the hash text it compares. Byte 0 gives the key length; then
// the key, then the answer.
#include <cstddef>
#include <cstdint>
#include <string>

#include "app/ConfigText.h"
#include "app/UpdateScript.h"
#include "tests/fuzz/FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string key, json;
    if (!SplitKeyAndText(data, size, key, json)) return 0;

    const std::string value = ParseJsonString(json, key);
    FUZZ_CHECK(value.size() <= json.size());
    FUZZ_CHECK(value.find('"') == std::string::npos);
    if (json.find("\"" + key + "\"") == std::string::npos) FUZZ_CHECK(value.empty());

    // A key at the front with a value free of quotes reads back, whatever
    // follows (the colon is looked for from the key's start, so not in the key).
    std::string plain;
    for (char c : json)
        if (c != '"') plain += c;
    if (key.find_first_of("\":") == std::string::npos)
        FUZZ_CHECK(ParseJsonString("{\"" + key + "\":\"" + plain + "\"," + json, key) == plain);

    const bool google = GoogleSectionEnabled(json);
    if (json.find("\"googleOAuthEnabled\":false") != std::string::npos) FUZZ_CHECK(!google);
    if (json.find("googleOAuthEnabled") == std::string::npos)
        FUZZ_CHECK(google == !ParseJsonString(json, "googleClientId").empty());

    const std::string version = ParseJsonString(json, "launcherVersion");
    const std::string url = ParseJsonString(json, "launcherDownloadUrl");
    const bool update = SelfUpdateWanted(version, url);
    if (version == kLauncherVersion || url.empty()) FUZZ_CHECK(!update);

    // The expected hash is compared in lower case: same length, no upper-case letter left.
    const std::string sha = AsciiLower(ParseJsonString(json, "launcherSha256"));
    for (char c : sha) FUZZ_CHECK(!(c >= 'A' && c <= 'Z'));
    FUZZ_CHECK(AsciiLower(sha) == sha);

    // The server URL the configuration names becomes the base of later requests.
    const std::string configUrl = GetConfigUrl(ParseJsonString(json, "patchServerUrl"));
    const std::string tail = "/api/launcher/config";
    FUZZ_CHECK(configUrl.size() >= tail.size() && configUrl.compare(configUrl.size() - tail.size(), tail.size(), tail) == 0);
    FUZZ_CHECK(configUrl.size() == tail.size() || configUrl[configUrl.size() - tail.size() - 1] != '/');
    return 0;
}
