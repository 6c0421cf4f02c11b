// The browser's request to the Google sign-in's loopback listener. Which
// requests carry a code is the reader's business; a code it takes is never
// longer than the request, and a code sent in a plain redirect comes back whole.
#include <cstddef>
#include <cstdint>
#include <string>

#include "patch/GoogleOAuthText.h"
#include "patch/TextHelpers.h"
#include "tests/fuzz/FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string request(reinterpret_cast<const char*>(data), size);
    std::string code;
    if (ExtractRedirectCode(request, code)) FUZZ_CHECK(code.size() <= request.size());

    const std::string redirect = "GET /callback?code=" + UrlEncodeQuery(request) +
                                 "&scope=email%20openid HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
    std::string sent;
    if (ExtractRedirectCode(redirect, sent)) FUZZ_CHECK(sent == request);
    return 0;
}
