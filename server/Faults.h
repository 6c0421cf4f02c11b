#pragma once
// Fault switches of the stand-in server, read once at start from DATA/faults.json:
//   {"manifest": MODE, "files": {"rel/path": MODE}, "builds": {"name": MODE}}
// Modes (the cut point is half a game file, the first line of the file list,
// a third of a launcher build):
//   truncate   a complete answer carrying the bytes before the cut point
//   flip       one byte changed at the cut point
//   drop, cut  the bytes before the cut point, then the connection closes
//              ("drop" on the file list closes it before any answer instead)
//   stall      the bytes before the cut point, then nothing until the client gives up
//              (an empty body: chunked headers, then nothing)
//   chunked    the whole body, chunked, without a length
//   chunkcut   chunked: one chunk that declares the whole body carries the bytes
//              before the cut point, then the connection is reset
//   html       status 500 with an HTML page
//   404        status 404 with a JSON error
//   status500, status404   that status with the real body unchanged
//   hold       a status line, then one more header line every half second, never
//              ending, until the client goes (at most 5 min)
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "server/ServerContext.h"

struct Faults {
    std::string manifest;
    std::map<std::string, std::string> files;
    std::map<std::string, std::string> builds;

    static Faults Read(const ServerContext& ctx);
};

// Copies up to want bytes of the body from offset on into out; 0 ends it.
using BodySource = std::function<size_t(uint64_t offset, char* out, size_t want)>;

// A body held in memory.
BodySource StringSource(std::shared_ptr<const std::string> body);

// Serves a body of size bytes, whole or as the fault mode says.
void ServeBody(const httplib::Request& req, httplib::Response& res, const std::string& contentType, uint64_t size,
               BodySource source, const std::string& fault, uint64_t cutAt);

// Closes the connection before anything is written: the client sees no answer at all.
void DropConnection(const httplib::Request& req);
