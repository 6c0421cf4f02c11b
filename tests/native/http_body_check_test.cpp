// What makes an answer whole: status 200 and, when the headers declare a
// length, exactly that many bytes; and how that length is read.
#include <gtest/gtest.h>

#include <string>

#include "patch/HttpBodyCheck.h"

TEST(ParseContentLength, PlainDecimalOnly) {
    struct Case {
        const char* name;
        std::string text;
        bool ok;
        uint64_t value;
    };
    const Case cases[] = {
        {"zero", "0", true, 0},
        {"a game file", "251904", true, 251904},
        {"beyond 32 bits", "5368709120", true, 5368709120ull},
        {"the largest 64-bit value", "18446744073709551615", true, UINT64_MAX},
        {"blanks around the digits", " \t42 ", true, 42},
        {"leading zeros", "007", true, 7},
        {"one past 64 bits", "18446744073709551616", false, 0},
        {"far past 64 bits", "99999999999999999999999", false, 0},
        {"empty", "", false, 0},
        {"blanks only", "  ", false, 0},
        {"a sign", "+5", false, 0},
        {"negative", "-1", false, 0},
        {"two values", "30000, 30000", false, 0},
        {"a blank inside", "12 34", false, 0},
        {"hexadecimal", "0x10", false, 0},
        {"a trailing letter", "10k", false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        uint64_t value = 12345;
        EXPECT_EQ(ParseContentLength(c.text, value), c.ok);
        EXPECT_EQ(value, c.ok ? c.value : 12345u) << "a refused text leaves the value alone";
    }
}

TEST(HttpBodyCheck, WholeOnlyWithStatus200AndTheDeclaredLength) {
    struct Case {
        const char* name;
        uint32_t status;
        bool lengthGiven;
        bool lengthValid;
        uint64_t length;
        uint64_t received;
        bool complete;
    };
    const Case cases[] = {
        {"every declared byte", 200, true, true, 1000, 1000, true},
        {"an empty body declared empty", 200, true, true, 0, 0, true},
        {"no length declared (chunked or close-delimited)", 200, false, false, 0, 777, true},
        {"cut before the declared length", 200, true, true, 1000, 333, false},
        {"nothing of a declared body", 200, true, true, 1000, 0, false},
        {"more than declared", 200, true, true, 1000, 1001, false},
        {"a length that could not be read", 200, true, false, 0, 0, false},
        {"error page", 500, true, true, 120, 120, false},
        {"not found", 404, false, false, 0, 40, false},
        {"partial content", 206, true, true, 10, 10, false},
        {"no status read", 0, true, true, 10, 10, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HttpBodyCheck check;
        check.status = c.status;
        check.lengthGiven = c.lengthGiven;
        check.lengthValid = c.lengthValid;
        check.length = c.length;
        check.received = c.received;
        EXPECT_EQ(check.Complete(), c.complete);
        EXPECT_EQ(check.StatusOk(), c.status == 200);
    }
}

// A failed first availability query stands for the empty file only where the
// list describes exactly that and nothing else can explain the failure.
TEST(HttpBodyCheck, FailedFirstQueryIsTheEmptyFileOnlyForAnEmptyListedFile) {
    struct Case {
        const char* name;
        uint32_t status;
        bool lengthGiven;
        uint64_t received;
        bool emptyChunkedError;
        uint64_t expectedSize;
        std::string expectedHash;
        bool empty;
    };
    const Case cases[] = {
        {"empty, chunked, listed with the digest of zero bytes", 200, false, 0, true, 0, kEmptyFileHash, true},
        {"a time-out or a reset instead", 200, false, 0, false, 0, kEmptyFileHash, false},
        {"nothing to check it by", 200, false, 0, true, 0, "", false},
        {"listed with bytes", 200, false, 0, true, 10, kEmptyFileHash, false},
        {"listed with another digest", 200, false, 0, true, 0, "0123456789abcdef", false},
        {"bytes arrived before the failure", 200, false, 5, true, 0, kEmptyFileHash, false},
        {"a declared length", 200, true, 0, true, 0, kEmptyFileHash, false},
        {"an error status", 500, false, 0, true, 0, kEmptyFileHash, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HttpBodyCheck check;
        check.status = c.status;
        check.lengthGiven = c.lengthGiven;
        check.lengthValid = c.lengthGiven;
        check.received = c.received;
        EXPECT_EQ(check.FailedFirstQueryIsTheEmptyFile(c.expectedSize, c.expectedHash, c.emptyChunkedError), c.empty);
    }
}
