// The launcher server's answers to the sign-in exchanges: the challenge, the
// login, the session refresh and the Google sign-in's session.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "patch/AuthWire.h"
#include "tests/fuzz/FuzzCheck.h"

namespace {

const std::string kUntouched = "untouched";

bool KeptFirst(const std::vector<GameServer>& servers) {
    return !servers.empty() && servers.front().name == kUntouched;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string answer(reinterpret_cast<const char*>(data), size);

    AuthChallenge challenge;
    if (ReadAuthChallenge(answer, challenge))
        FUZZ_CHECK(!challenge.id.empty() && !challenge.salt.empty() && challenge.difficulty >= 0);

    // Login: the token is always written; the rest only on success, the error only on failure.
    {
        std::string userId = kUntouched, token = kUntouched, webRoot = kUntouched, error = kUntouched;
        std::vector<GameServer> servers(1);
        servers[0].name = kUntouched;
        const bool ok = ReadLoginAnswer(answer, userId, token, webRoot, servers, error);
        FUZZ_CHECK(ok == !token.empty());
        FUZZ_CHECK(KeptFirst(servers));
        if (ok) {
            FUZZ_CHECK(error == kUntouched && !userId.empty());
        } else {
            FUZZ_CHECK(!error.empty() && userId == kUntouched && webRoot == kUntouched && servers.size() == 1);
        }
    }
    {
        std::string signature = kUntouched, error = kUntouched;
        const bool ok = ReadRefreshAnswer(answer, signature, error);
        FUZZ_CHECK(ok == !signature.empty());
        FUZZ_CHECK(ok ? error == kUntouched : !error.empty());
    }
    {
        std::string userId = kUntouched, username = kUntouched, token = kUntouched, webRoot = kUntouched,
                    error = kUntouched;
        std::vector<GameServer> servers(1);
        servers[0].name = kUntouched;
        const bool ok = ReadGoogleSessionAnswer(answer, userId, username, token, webRoot, servers, error);
        FUZZ_CHECK(ok == !token.empty());
        FUZZ_CHECK(KeptFirst(servers));
        if (ok) {
            FUZZ_CHECK(error == kUntouched && !userId.empty());
        } else {
            FUZZ_CHECK(!error.empty() && userId == kUntouched && username == kUntouched && webRoot == kUntouched &&
                       servers.size() == 1);
        }
    }
    return 0;
}
