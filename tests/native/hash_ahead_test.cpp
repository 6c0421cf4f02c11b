#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <future>
#include <mutex>
#include <new>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "patch/HashAhead.h"

namespace {

// A job whose result names its path, so a result handed to the wrong ticket shows.
// Paths starting with "x" cannot be read; "boom" runs out of memory.
bool NameJob(const NativePath& path, std::vector<char>& buffer, HashAhead::Result& out) {
    if (path == "boom") throw std::bad_alloc();
    buffer.resize(16);
    out.info = {LocalFileKind::Regular, path.size(), 7};
    out.hash = "hash of " + path;
    return path[0] != 'x';
}

TEST(HashAhead, EachTicketGetsItsOwnResultUnderAnyPace) {
    constexpr size_t kFiles = 400;
    auto name = [](size_t i) { return (i % 17 == 5 ? "x" : "f") + std::to_string(i); };
    struct Pace {
        size_t helpers, stride;
        bool wait;  // let the helpers finish before each take, or race them
    };
    for (const Pace& p : {Pace{3, 1, true}, Pace{3, 1, false}, Pace{3, 3, false}, Pace{1, 1, false}, Pace{4, 2, true}}) {
        HashAhead ahead(NameJob, p.helpers);
        std::vector<size_t> tickets;
        for (size_t i = 0; i < kFiles; ++i) tickets.push_back(ahead.Expect(name(i), i % 3 ? 10 : 5u << 20));
        ahead.Start();
        EXPECT_EQ(ahead.Expect("late", 1), HashAhead::kNoTicket);
        size_t last = 0;
        for (size_t i = 0; i < kFiles; last = i, i += p.stride) {
            if (p.wait) ahead.WaitUntilAhead();
            HashAhead::Result result;
            const bool given = ahead.Take(tickets[i], result);
            const bool readable = name(i)[0] != 'x';
            if (p.wait) {
                EXPECT_EQ(given, readable) << name(i);
            }
            if (given) {
                ASSERT_TRUE(readable) << name(i);
                ASSERT_EQ(result.hash, "hash of " + name(i));
                ASSERT_EQ(result.info.size, name(i).size());
            }
        }
        // Taking a ticket again, or one left behind, gives nothing.
        HashAhead::Result result;
        EXPECT_FALSE(ahead.Take(tickets[0], result));
        EXPECT_FALSE(ahead.Take(tickets[last], result));
    }
}

// Large files one at a time, and small ones go on past a large one that waits.
TEST(HashAhead, LargeFilesOneAtATime) {
    std::mutex lock;
    std::set<std::string> started;
    std::atomic<int> large{0}, mostLarge{0};
    std::promise<void> gate;
    std::shared_future<void> opened = gate.get_future().share();
    auto job = [&](const NativePath& path, std::vector<char>&, HashAhead::Result& out) {
        {
            std::lock_guard<std::mutex> guard(lock);
            started.insert(path);
        }
        const bool isLarge = path[0] == 'L';
        if (isLarge) {
            const int now = ++large;
            int seen = mostLarge.load();
            while (now > seen && !mostLarge.compare_exchange_weak(seen, now)) {
            }
        }
        if (path == "L0") opened.wait();
        if (isLarge) --large;
        out.hash = path;
        return true;
    };
    auto hasStarted = [&](const std::string& path) {
        std::lock_guard<std::mutex> guard(lock);
        return started.count(path) == 1;
    };
    HashAhead ahead(job, 3);
    std::vector<std::string> names = {"L0", "L1", "s2", "s3", "L4", "s5"};
    std::vector<size_t> tickets;
    for (const std::string& n : names) tickets.push_back(ahead.Expect(n, n[0] == 'L' ? HashAhead::kLargeFile + 1 : 100));
    ahead.Start();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!(hasStarted("s2") && hasStarted("s3") && hasStarted("s5")) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_TRUE(hasStarted("s5"));
    EXPECT_FALSE(hasStarted("L1"));
    EXPECT_FALSE(hasStarted("L4"));
    gate.set_value();
    ahead.WaitUntilAhead();
    for (size_t i = 0; i < names.size(); ++i) {
        HashAhead::Result result;
        ASSERT_TRUE(ahead.Take(tickets[i], result)) << names[i];
        EXPECT_EQ(result.hash, names[i]);
    }
    EXPECT_EQ(mostLarge.load(), 1);
}

TEST(HashAhead, WithoutHelpersTakersOrMemoryNothingHangs) {
    {
        HashAhead none(NameJob, 0);
        const size_t ticket = none.Expect("f", 1);
        none.Start();
        none.WaitUntilAhead();
        HashAhead::Result result;
        EXPECT_FALSE(none.Take(ticket, result));
    }
    {
        // Dropped with every file still waiting to be taken.
        HashAhead ahead(NameJob, 3);
        for (size_t i = 0; i < 50; ++i) ahead.Expect("f" + std::to_string(i), 1);
        ahead.Start();
    }
    {
        HashAhead unstarted(NameJob, 2);
        const size_t ticket = unstarted.Expect("f", 1);
        HashAhead::Result result;
        EXPECT_FALSE(unstarted.Take(ticket, result));
    }
    {
        HashAhead ahead(NameJob, 2);
        const size_t boom = ahead.Expect("boom", 1);
        const size_t fine = ahead.Expect("fine", 1);
        ahead.Start();
        ahead.WaitUntilAhead();
        HashAhead::Result result;
        EXPECT_FALSE(ahead.Take(boom, result));
        EXPECT_TRUE(ahead.Take(fine, result));
    }
}

}  // namespace
