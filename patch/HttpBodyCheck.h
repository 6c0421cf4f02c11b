#pragma once
// Whether an answer is the whole of what the server meant to send: its status,
// and the bytes that arrived against the length its headers declared.
#include <cstdint>
#include <string>

struct HttpBodyCheck {
    uint32_t status = 0;
    bool lengthGiven = false;   // a Content-Length header came with the answer
    bool lengthValid = false;   // and it was a plain decimal number
    uint64_t length = 0;
    uint64_t received = 0;      // counted by the reader as bytes arrive

    bool StatusOk() const { return status == 200; }
    // For a body read to its end without a failed query or read. Without a
    // declared length (a chunked or close-delimited body) nothing is compared.
    bool Complete() const;
};

// Content-Length value: decimal digits, optional blanks around them, no sign,
// no overflow. False for anything else.
bool ParseContentLength(const std::string& text, uint64_t& out);
