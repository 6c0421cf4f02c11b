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
    // Under Wine the first availability query of a chunked answer whose body
    // is only its last chunk fails, before any byte arrives, with one error
    // of its own (ERROR_INSUFFICIENT_BUFFER; a stall ends in a time-out). For
    // a file the list gives as empty, with the digest of zero bytes, that
    // answer is the file: empty is what the size and hash checks accept. Any
    // other failed query stays a failure, whatever the list says.
    bool FailedFirstQueryIsTheEmptyFile(uint64_t expectedSize, const std::string& expectedHash,
                                        bool emptyChunkedError) const;
};

// XXH64 (seed 0) of zero bytes, as the file list writes it.
inline constexpr char kEmptyFileHash[] = "ef46db3751d8e999";

// Content-Length value: decimal digits, optional blanks around them, no sign,
// no overflow. False for anything else.
bool ParseContentLength(const std::string& text, uint64_t& out);
