#include "patch/HashAhead.h"

#include <algorithm>
#include <mutex>
#include <new>
#include <system_error>
#include <utility>

HashAhead::HashAhead(Job job, size_t helperCount) : job(std::move(job)), helperCount(helperCount) {}

HashAhead::~HashAhead() {
    {
        std::lock_guard<HelperLock> guard(lock);
        stop = true;
    }
    helperWake.notify_all();
    for (std::thread& helper : helpers) helper.join();
}

size_t HashAhead::Expect(const NativePath& path, uint64_t expectedSize) {
    if (!helpers.empty()) return kNoTicket;
    Slot& slot = slots.emplace_back();
    slot.path = path;
    slot.large = expectedSize > kLargeFile;
    return slots.size() - 1;
}

void HashAhead::Start() {
    if (!helpers.empty() || slots.empty()) return;
    try {
        for (size_t i = 0; i < helperCount; ++i) helpers.emplace_back([this] { Help(); });
    } catch (const std::system_error&) {
        // Fewer helpers, or none: files no helper takes are hashed by the verification.
    }
}

size_t HashAhead::Claimable() {
    // Slots only ever leave Waiting, so both cursors only move forward.
    while (next < slots.size() && slots[next].state != State::Waiting) ++next;
    if (largeWorking == 0) return next;
    nextSmall = std::max(nextSmall, next);
    while (nextSmall < slots.size() && (slots[nextSmall].state != State::Waiting || slots[nextSmall].large))
        ++nextSmall;
    return nextSmall;
}

void HashAhead::Help() {
    std::vector<char> buffer;
    std::unique_lock<HelperLock> guard(lock);
    for (;;) {
        const size_t claimed = Claimable();
        if (stop || next >= slots.size()) return;
        if (claimed == slots.size()) {
            helperWake.wait(guard);
            continue;
        }
        Slot& slot = slots[claimed];
        slot.state = State::Working;
        ++working;
        if (slot.large) ++largeWorking;
        guard.unlock();
        Result result;
        bool done = false;
        try {
            done = job(slot.path, buffer, result);
        } catch (const std::bad_alloc&) {
            // Left to the verification.
        }
        guard.lock();
        --working;
        if (slot.large) --largeWorking;
        slot.state = done ? State::Done : State::Failed;
        if (done) slot.result = std::move(result);
        takerWake.notify_all();
        if (slot.large) helperWake.notify_all();
    }
}

bool HashAhead::Take(size_t ticket, Result& out) {
    std::unique_lock<HelperLock> guard(lock);
    if (ticket >= slots.size() || ticket < passed) return false;
    // No helper starts on a file the verification has gone past.
    for (size_t i = passed; i < ticket; ++i)
        if (slots[i].state == State::Waiting) slots[i].state = State::Failed;
    Slot& slot = slots[ticket];
    if (slot.state == State::Waiting) {
        // The verification has caught up with the helpers: it hashes this one itself.
        slot.state = State::Failed;
        passed = ticket + 1;
        helperWake.notify_all();
        return false;
    }
    while (slot.state == State::Working) takerWake.wait(guard);
    passed = ticket + 1;
    const bool done = slot.state == State::Done;
    if (done) out = std::move(slot.result);
    helperWake.notify_all();
    return done;
}

void HashAhead::WaitUntilAhead() {
    std::unique_lock<HelperLock> guard(lock);
    if (helpers.empty()) return;
    while (working > 0 || Claimable() < slots.size()) takerWake.wait(guard);
}
