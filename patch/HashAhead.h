#pragma once
// Hashes the files a verification is sure to hash on helper threads, in the
// order it will ask for them, so that opening and closing each file (round
// trips to the server under Wine, an on-access scan on many Windows machines)
// overlap the reading and hashing of others instead of adding to them. The
// verification still judges its entries one by one, in its own order, on its
// own thread.
// No Windows header.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "patch/LocalFiles.h"

class HashAhead {
public:
    static constexpr size_t kNoTicket = static_cast<size_t>(-1);
    // Above this, files are read one at a time, so a disk that seeks reads
    // each large file in one sweep.
    static constexpr uint64_t kLargeFile = 1u << 20;

    struct Result {
        // The open file as it described itself before it was read.
        LocalFileInfo info;
        std::string hash;
    };
    // Hashes one file through `buffer`; false when it could not be read whole.
    using Job = std::function<bool(const NativePath& path, std::vector<char>& buffer, Result& out)>;

    HashAhead(Job job, size_t helpers);
    // Lets the files being hashed finish, then stops the helpers.
    ~HashAhead();
    HashAhead(const HashAhead&) = delete;
    HashAhead& operator=(const HashAhead&) = delete;

    // Each file, in the order it will be taken, then Start. `expectedSize`
    // says whether it is a large file.
    size_t Expect(const NativePath& path, uint64_t expectedSize);
    void Start();

    // The file's result, or false when no helper had begun it (none will now)
    // or it could not be read whole. Tickets are taken in increasing order;
    // taking one gives up every earlier one.
    bool Take(size_t ticket, Result& out);
    // Waits until the helpers have gone as far as they may: every file begun
    // is done, and the rest wait for a large file or were given up.
    void WaitUntilAhead();

private:
    enum class State { Waiting, Working, Done, Failed };
    struct Slot {
        NativePath path;
        bool large = false;
        State state = State::Waiting;
        Result result;
    };

    void Help();
    // The file a helper may begin next, or slots.size(): files are begun in
    // order, except that small ones go on past a large one that must wait for
    // another large one. Called with the lock held.
    size_t Claimable();

    const Job job;
    const size_t helperCount;
    std::vector<Slot> slots;
    HelperLock lock;
    HelperCondition helperWake;
    HelperCondition takerWake;
    size_t next = 0;       // slots below this are all claimed or given up
    size_t nextSmall = 0;  // the same, large files aside
    size_t passed = 0;     // slots below this have been taken or given up
    size_t working = 0;
    size_t largeWorking = 0;
    bool stop = false;
    std::vector<std::thread> helpers;
};
