#pragma once
// Work that a forced end of the process must not cut short: the swap of a
// game file into place (backup copy, move, removal of the backup) and a save
// of the cache file. Cut there, a folder would keep a half backup, a checked
// new file left as a part file, or a cache file cut in two. The shutdown
// timer closes the gate and waits for the work inside it before it ends the
// process. No Windows header.
#include <chrono>

class CriticalScope {
public:
    CriticalScope();
    ~CriticalScope();
    CriticalScope(const CriticalScope&) = delete;
    CriticalScope& operator=(const CriticalScope&) = delete;

    // False once the process has begun to end: the work must not start.
    bool Entered() const { return entered; }

private:
    bool entered;
};

struct CriticalWait {
    bool hadWork = false;   // work was in progress when the gate closed
    bool finished = true;   // and all of it ended within the bound
};

// Refuses new work from now on, then waits until the work in progress has
// ended or `bound` has passed.
CriticalWait CloseCriticalWork(std::chrono::milliseconds bound);

// Tests only: the gate opens again.
void ReopenCriticalWorkForTesting();
