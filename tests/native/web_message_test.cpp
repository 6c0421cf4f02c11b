#include <gtest/gtest.h>

#include "ui/WebMessage.h"

TEST(WVExtractStr, ReadsValuesAsThePageSendsThem) {
    struct Case {
        const char* json;
        const char* key;
        std::string expected;
    } cases[] = {
        {R"({"type":"vrenn-auth","token":"abc"})", "token", "abc"},
        {R"({"token" :	 "spaced"})", "token", "spaced"},
        {R"({"a":{"userId":"7"}})", "userId", "7"},                       // nested, first occurrence
        {R"({"x":"userId","userId":"9"})", "userId", "9"},                // the colon after a value equal to the key
        {R"({"token":"a\"b"})", "token", "a\"b"},                          // escaped quote does not end it
        {R"({"token":"a\\b\/c"})", "token", "a\\b/c"},
        {R"({"token":"line\nx"})", "token", "linenx"},                     // \n gives the letter n
        {R"({"token":""})", "token", ""},
        {R"({"token":"unterminated)", "token", "unterminated"},
        {R"({"token":"ends\)", "token", "ends\\"},                         // trailing backslash kept
        {R"({"n":42,"m":"x"})", "n", "42,"},                               // not a string: up to the next quote
        {R"({"token"})", "token", ""},                                     // no colon after it
        {R"({"other":"v"})", "token", ""},
        {R"("{\"type\":\"vrenn-auth\",\"token\":\"t\"}")", "token", ""},   // a posted string: no quoted key
    };
    for (const auto& c : cases) EXPECT_EQ(WVExtractStr(c.json, c.key), c.expected) << c.json;
}
