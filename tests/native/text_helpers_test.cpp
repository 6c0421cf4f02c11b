// Flat JSON lookups, JSON escaping, percent-encodings and base64url: the byte
// rules the server exchanges and the Google sign-in depend on.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "patch/TextHelpers.h"

namespace {

using namespace std::string_literals;

struct ExtractCase {
    const char* name;
    std::string json;
    std::string key;
    std::string expected;
};

struct MapCase {
    const char* name;
    std::string input;
    std::string expected;
};

std::string AllBytes() {
    std::string all;
    for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
    return all;
}

}  // namespace

TEST(ExtractJsonValue, StringModeUnescapesTheQuotedValue) {
    const ExtractCase cases[] = {
        {"plain value", R"({"name":"Vrenn"})", "name", "Vrenn"},
        {"spaces, tabs and extra colons are skipped", "{\"name\" :\t : \"Vrenn\"}", "name", "Vrenn"},
        {"escapes are undone", R"({"msg":"a\"b\\c\nd\/e"})", "msg", "a\"b\\c\nd/e"},
        {"unicode escapes and a surrogate pair", R"({"msg":"\u00e7\uD83D\uDE00"})", "msg", "\xC3\xA7\xF0\x9F\x98\x80"},
        {"bytes from 0x80 and NUL pass unchanged", "{\"k\":\"\xC3\xA7\xFF\0z\"}"s, "k", "\xC3\xA7\xFF\0z"s},
        {"empty value", R"({"k":"","j":"x"})", "k", ""},
        {"the opening quote is optional", R"({"k":abc"})", "k", "abc"},
        {"a line break stops the skip and is returned with what follows", "{\"name\":\r\n  \"Vrenn\"}", "name",
         "\r\n  "},
        {"a number followed by more keys runs to the next quote", R"({"n":42,"m":1})", "n", "42,"},
        {"a number that is the last value has no closing quote", R"({"n":42})", "n", ""},
        {"unterminated string", R"({"msg":"abc)", "msg", ""},
        {"an escaped quote does not terminate", R"({"msg":"abc\")", "msg", ""},
        {"a trailing backslash does not terminate", "{\"msg\":\"abc\\", "msg", ""},
        {"absent key", R"({"name":"Vrenn"})", "token", ""},
        {"a longer key does not match", R"({"token_id":"1","token":"2"})", "token", "2"},
        {"first occurrence wins, even nested", R"({"o":{"token":"deep"},"token":"top"})", "token", "deep"},
        {"a string value equal to the key is found first", R"({"a":"token","token":"x"})", "token", ","},
        {"key at the very end", R"({"k")", "k", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ExtractJsonValue(c.json, c.key, true), c.expected) << c.name;
    }
}

TEST(ExtractJsonValue, RawModeReadsQuotedTextBooleansOrDigits) {
    const ExtractCase cases[] = {
        {"true", R"({"ok":true})", "ok", "true"},
        {"false", R"({"ok":false,"n":1})", "ok", "false"},
        {"only the boolean prefix is compared", R"({"ok":trueish})", "ok", "true"},
        {"a cut boolean is no value", R"({"ok":tru})", "ok", ""},
        {"zero", R"({"n":0})", "n", "0"},
        {"integer", R"({"n":123,"m":4})", "n", "123"},
        {"long digit run, not range checked", R"({"n":12345678901234567890})", "n", "12345678901234567890"},
        {"negative number", R"({"n":-5})", "n", ""},
        {"fraction keeps its integer digits", R"({"n":3.75})", "n", "3"},
        {"null", R"({"n":null})", "n", ""},
        {"object", R"({"o":{"a":1}})", "o", ""},
        {"array", R"({"a":[1,2]})", "a", ""},
        {"spaces around the colon", "{\"n\" :\t7 }", "n", "7"},
        {"a line break stops the skip", "{\"n\":\n5}", "n", ""},
        {"digits at the end of the text", R"("n":99)", "n", "99"},
        {"quoted text", R"({"s":"abc","t":"d"})", "s", "abc"},
        {"quoted number", R"({"n":"42"})", "n", "42"},
        {"an escaped quote ends the value after its backslash", R"({"s":"a\"b"})", "s", "a\\"},
        {"no unescaping", R"({"s":"a\nb"})", "s", "a\\nb"},
        {"unterminated quote gives the rest of the text", R"({"s":"abc)", "s", "abc"},
        {"absent key", R"({"n":1})", "m", ""},
        {"key at the very end", R"({"n")", "n", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ExtractJsonValue(c.json, c.key, false), c.expected) << c.name;
    }
}

TEST(UnescapeJsonString, SimpleEscapesAndBackslashRules) {
    const MapCase cases[] = {
        {"empty", "", ""},
        {"plain text and high bytes", "abc\xC3\xA7\xFF", "abc\xC3\xA7\xFF"},
        {"the eight named escapes", R"(\"\/\\\b\f\n\r\t)", "\"/\\\b\f\n\r\t"},
        {"an unknown escape keeps its byte", R"(\x\a\')", "xa'"},
        {"a trailing backslash stays", "abc\\", "abc\\"},
        {"a lone backslash stays", "\\", "\\"},
        {"an escaped backslash before u is not a unicode escape", R"(\\u0041)", "\\u0041"},
        {"an escaped NUL byte", "\\\0"s, "\0"s},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(UnescapeJsonString(c.input), c.expected) << c.name;
    }
}

TEST(UnescapeJsonString, UnicodeEscapesAndSurrogates) {
    const MapCase cases[] = {
        {"ASCII", R"(\u0041)", "A"},
        {"NUL", R"(\u0000)", "\0"s},
        {"two bytes, either case", R"(\u00e7\u00E7)", "\xC3\xA7\xC3\xA7"},
        {"two-byte bounds", R"(\u0080\u07FF)", "\xC2\x80\xDF\xBF"},
        {"three-byte bounds", R"(\u0800\uFFFF)", "\xE0\xA0\x80\xEF\xBF\xBF"},
        {"euro sign", R"(\u20AC)", "\xE2\x82\xAC"},
        {"surrogate pair of U+1F600", R"(\uD83D\uDE00)", "\xF0\x9F\x98\x80"},
        {"surrogate pair in lower case", R"(\ud83d\ude00)", "\xF0\x9F\x98\x80"},
        {"highest pair", R"(\uDBFF\uDFFF)", "\xF4\x8F\xBF\xBF"},
        {"lone low surrogate", R"(\uDC00)", "\xED\xB0\x80"},
        {"lone high surrogate", R"(\uD800)", "\xED\xA0\x80"},
        {"high surrogate before text", R"(\uD800x)", "\xED\xA0\x80x"},
        {"high surrogate before a non-surrogate escape", R"(\uD800\u0041)", "\xED\xA0\x80" "A"},
        {"two high surrogates", R"(\uD800\uD800)", "\xED\xA0\x80\xED\xA0\x80"},
        {"high surrogate before a cut escape", R"(\uD800\uDC0)", "\xED\xA0\x80" "DC0"},
        {"high surrogate before another named escape", R"(\uD800\n)", "\xED\xA0\x80\n"},
        {"only two hex digits left", R"(ab\u12)", "ab12"},
        {"nothing after the u", R"(\u)", ""},
        {"a non-hex digit among the four", R"(\u12G4)", "12G4"},
        {"a cut escape after a pair", R"(\uD83D\uDE00\u)", "\xF0\x9F\x98\x80"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(UnescapeJsonString(c.input), c.expected) << c.name;
    }
}

TEST(EscapeJsonString, EscapesOnlyTabLineBreaksQuoteAndBackslash) {
    const MapCase cases[] = {
        {"empty", "", ""},
        {"the five escaped bytes", "\t\n\r\"\\", R"(\t\n\r\"\\)"},
        {"other control bytes, DEL and slash stay", "\b\f\x01\x1F\x7F/", "\b\f\x01\x1F\x7F/"},
        {"NUL stays", "a\0b"s, "a\0b"s},
        {"bytes from 0x80 stay", "\xC3\xA7\xFF", "\xC3\xA7\xFF"},
        {"mixed", "say \"hi\"\tC:\\x", R"(say \"hi\"\tC:\\x)"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(EscapeJsonString(c.input), c.expected) << c.name;
    }
}

TEST(EscapeJsonString, EveryByteSurvivesABodyAndALookup) {
    // A request body built by concatenation must read back as the value that went in.
    const std::string texts[] = {AllBytes(), "\\\"\\", "\\u0041", "tail\\", "\xED\xA0\x80 plain"};
    for (const auto& text : texts) {
        const std::string escaped = EscapeJsonString(text);
        EXPECT_EQ(UnescapeJsonString(escaped), text);
        EXPECT_EQ(ExtractJsonValue("{\"k\":\"" + escaped + "\",\"z\":1}", "k", true), text);
    }
}

TEST(Utf8FromCodepoint, EncodesEachRangeAtItsBounds) {
    const struct {
        uint32_t cp;
        std::string bytes;
    } cases[] = {
        {0x00, "\0"s},
        {0x41, "A"},
        {0x7F, "\x7F"},
        {0x80, "\xC2\x80"},
        {0x7FF, "\xDF\xBF"},
        {0x800, "\xE0\xA0\x80"},
        {0xD800, "\xED\xA0\x80"},
        {0xDFFF, "\xED\xBF\xBF"},
        {0xFFFF, "\xEF\xBF\xBF"},
        {0x10000, "\xF0\x90\x80\x80"},
        {0x1F600, "\xF0\x9F\x98\x80"},
        {0x10FFFF, "\xF4\x8F\xBF\xBF"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Utf8FromCodepoint(c.cp), c.bytes) << std::hex << c.cp;
    }
}

TEST(HexDigitToInt, DigitsAndTheirNeighbours) {
    const struct {
        char c;
        int value;
    } cases[] = {
        {'0', 0},  {'9', 9},   {'a', 10}, {'f', 15}, {'A', 10}, {'F', 15}, {'/', -1},     {':', -1},
        {'@', -1}, {'G', -1},  {'`', -1}, {'g', -1}, {'x', -1}, {' ', -1}, {'\0', -1},    {'\xB0', -1},
        {'\xC1', -1}, {'\xE6', -1}, {'\xFF', -1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(HexDigitToInt(c.c), c.value) << "byte " << int(static_cast<unsigned char>(c.c));
    }
}

TEST(UrlEncode, PathKeepsSlashQueryEncodesIt) {
    const struct {
        const char* name;
        std::string input;
        std::string path;
        std::string query;
    } cases[] = {
        {"empty", "", "", ""},
        {"unreserved bytes stay", "AZaz09-_.~", "AZaz09-_.~", "AZaz09-_.~"},
        {"slash and space", "data/maps/a b.pak", "data/maps/a%20b.pak", "data%2Fmaps%2Fa%20b.pak"},
        {"each byte of a multi-byte letter", "\xC3\xA7", "%C3%A7", "%C3%A7"},
        {"reserved and other ASCII", ":+%?&=#", "%3A%2B%25%3F%26%3D%23", "%3A%2B%25%3F%26%3D%23"},
        {"backslash", "a\\b", "a%5Cb", "a%5Cb"},
        {"control bytes, DEL and the top byte", "\0\x1F\x7F\xFF"s, "%00%1F%7F%FF", "%00%1F%7F%FF"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(UrlEncodePath(c.input), c.path) << c.name;
        EXPECT_EQ(UrlEncodeQuery(c.input), c.query) << c.name;
    }
}

TEST(UrlEncode, EveryByteDecodesBack) {
    const std::string all = AllBytes();
    const std::string encoded = UrlEncodeQuery(all);
    EXPECT_EQ(UrlDecodeQuery(encoded), all);
    // 66 unreserved bytes stay, the other 190 take three characters each.
    EXPECT_EQ(encoded.size(), 66u + 190u * 3u);
    EXPECT_EQ(UrlEncodePath(all).size(), encoded.size() - 2);
}

TEST(UrlDecodeQuery, PlusPercentAndCutSequences) {
    const MapCase cases[] = {
        {"empty", "", ""},
        {"plus is a space", "a+b", "a b"},
        {"slash in either case", "%2f%2F", "//"},
        {"space and a multi-byte letter", "%20%C3%A7", " \xC3\xA7"},
        {"NUL and the top byte", "%00%ff", "\0\xFF"s},
        {"an encoded plus stays a plus", "+%2B+", " + "},
        {"a percent that is the last byte", "ab%", "ab%"},
        {"a percent among the last two bytes", "%41%4", "A%4"},
        {"a percent alone", "%", "%"},
        {"no hex digit after the percent", "%zz", "%zz"},
        {"a percent before a percent sequence", "%%41", "%A"},
        {"a malformed sequence goes on with its next bytes", "%+g+", "% g "},
        {"one hex digit then a non-digit", "%4g", "\x04"},
        {"one hex digit then a plus is consumed", "%4+x", "\x04x"},
        {"leading white space", "% 4%\n5", "\x04\x05"},
        {"sign", "%+4%-1%-f", "\x04\xFF\xF1"},
        {"a sign with no digit", "%- x", "%- x"},
        {"NUL ends the digits", "%5\0z"s, "\x05z"},
        {"NUL first is no number", "%\0" "5"s, "%\0" "5"s},
        {"high bytes stay", "\xC3\xA7", "\xC3\xA7"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(UrlDecodeQuery(c.input), c.expected) << c.name;
    }
}

TEST(UrlDecodeQuery, EveryPairReadsLikeTheStandardConversion) {
    for (int a = 0; a < 256; ++a) {
        for (int b = 0; b < 256; ++b) {
            const std::string pair{static_cast<char>(a), static_cast<char>(b)};
            std::string expected;
            try {
                expected = std::string(1, static_cast<char>(std::stoi(pair, nullptr, 16) & 0xFF));
            } catch (const std::invalid_argument&) {
                expected = "%";
                for (char c : pair) expected += c == '+' ? ' ' : c;
            }
            ASSERT_EQ(UrlDecodeQuery("%" + pair), expected) << "bytes " << a << " " << b;
        }
    }
}

TEST(Base64UrlEncode, AlphabetGroupsAndNoPadding) {
    const unsigned char digest[32] = {0x13, 0xd3, 0x1e, 0x96, 0x1a, 0x1a, 0xd8, 0xec, 0x2f, 0x16, 0xb1,
                                      0x0c, 0x4c, 0x98, 0x2e, 0x08, 0x76, 0xa8, 0x78, 0xad, 0x6d, 0xf1,
                                      0x44, 0x56, 0x6e, 0xe1, 0x89, 0x4a, 0xcb, 0x70, 0xf9, 0xc3};
    const struct {
        const char* name;
        std::string bytes;
        std::string expected;
    } cases[] = {
        {"empty", "", ""},
        {"one byte gives two characters", "f", "Zg"},
        {"two bytes give three", "fo", "Zm8"},
        {"three bytes give four", "foo", "Zm9v"},
        {"four", "foob", "Zm9vYg"},
        {"five", "fooba", "Zm9vYmE"},
        {"six", "foobar", "Zm9vYmFy"},
        {"the two url-safe characters", "\xFB\xFF", "-_8"},
        {"all bits set", "\xFF\xFF\xFF", "____"},
        {"zero bytes", "\0\0"s, "AAA"},
        {"a 32-byte digest gives 43 characters", std::string(reinterpret_cast<const char*>(digest), 32),
         "E9Melhoa2OwvFrEMTJguCHaoeK1t8URWbuGJSstw-cM"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Base64UrlEncode(reinterpret_cast<const unsigned char*>(c.bytes.data()), c.bytes.size()),
                  c.expected)
            << c.name;
    }
}
