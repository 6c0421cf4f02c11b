// A login page message as a whole: what it asks for and the session it carries.
#include <cstddef>
#include <cstdint>
#include <string>

#include "tests/fuzz/FuzzCheck.h"
#include "ui/WebMessage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string json(reinterpret_cast<const char*>(data), size);
    const PageMessage message = ReadPageMessage(json);

    const bool google = json.find("vrenn-google") != std::string::npos;
    const bool auth = json.find("vrenn-auth") != std::string::npos;
    FUZZ_CHECK((message.kind == PageMessage::Kind::GoogleSignIn) == google);
    FUZZ_CHECK((message.kind == PageMessage::Kind::Ignored) == (!google && !auth));
    if (message.kind == PageMessage::Kind::Login) {
        FUZZ_CHECK(!message.token.empty() && !message.userId.empty());
        FUZZ_CHECK(message.token.size() <= json.size() && message.username.size() <= json.size());
        size_t closes = 0;
        for (char c : json) closes += c == '}';
        FUZZ_CHECK(message.servers.size() <= closes);
        for (const GameServer& s : message.servers) FUZZ_CHECK(!s.port.empty());
    } else {
        FUZZ_CHECK(message.token.empty() && message.userId.empty() && message.servers.empty());
    }
    return 0;
}
