#pragma once
// Reading a running program's memory from outside, as root: a Windows program
// under Wine is a Linux process, so /proc/PID/maps lists its regions and
// /proc/PID/mem gives their bytes, heap and stacks, used and freed alike.
#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace e2e {

// The Linux process whose program, the first word of its command line,
// contains `fragment` (Wine puts the Windows program's path there); nullopt
// when none or more than one has it.
std::optional<pid_t> FindProcessByProgram(const std::string& fragment);

struct MemoryHit {
    std::string needle;   // the name the caller gave the pattern
    uintptr_t address = 0;
    size_t length = 0;    // bytes of the needle found there in a row
    std::string region;   // the line of /proc/PID/maps it lies in
    std::string around;   // the bytes about it, printable ones as they are, others as '.'
};

// What is looked for: the bytes, or any `piece` of them in a row (0: all of
// them). A heap block given back keeps what it held but for its first bytes,
// where the heap puts its free list: a piece finds what is left of a copy.
struct Needle {
    std::string name;
    std::string bytes;
    size_t piece = 0;
};

// Every place in the readable regions of the process that holds one of the
// needles, each run of matching bytes once. Regions that cannot be read
// (guard pages, [vvar]) are skipped; `readBytes` gets what was read in all, so
// a caller can tell a real search from an empty one.
std::vector<MemoryHit> SearchProcessMemory(pid_t pid, const std::vector<Needle>& needles, size_t* readBytes = nullptr);

// The text as UTF-16LE, the form Windows' wide calls hold it in.
std::string Utf16Le(const std::string& utf8);

std::string Describe(const std::vector<MemoryHit>& hits);

}  // namespace e2e
