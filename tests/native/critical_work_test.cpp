// The gate the shutdown timer closes: work inside it finishes first (within a
// bound), and no work starts once it is closed.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "app/CriticalWork.h"

using namespace std::chrono_literals;

namespace {

struct Reopen {
    ~Reopen() { ReopenCriticalWorkForTesting(); }
};

}  // namespace

TEST(CriticalWork, ClosingWaitsForWorkInProgressAndRefusesNewWork) {
    Reopen reopen;
    std::atomic<bool> inside{false}, done{false};
    std::thread worker([&] {
        const CriticalScope scope;
        EXPECT_TRUE(scope.Entered());
        inside = true;
        std::this_thread::sleep_for(300ms);
        done = true;
    });
    while (!inside) std::this_thread::sleep_for(1ms);
    const CriticalWait wait = CloseCriticalWork(30s);
    EXPECT_TRUE(wait.hadWork);
    EXPECT_TRUE(wait.finished);
    EXPECT_TRUE(done) << "the gate closed before the work inside it ended";
    worker.join();
    EXPECT_FALSE(CriticalScope().Entered());
}

TEST(CriticalWork, NothingInProgressOrWorkPastTheBound) {
    Reopen reopen;
    {
        const CriticalWait wait = CloseCriticalWork(30s);
        EXPECT_FALSE(wait.hadWork);
        EXPECT_TRUE(wait.finished);
    }
    ReopenCriticalWorkForTesting();
    const CriticalScope held;
    ASSERT_TRUE(held.Entered());
    const auto start = std::chrono::steady_clock::now();
    const CriticalWait wait = CloseCriticalWork(100ms);
    EXPECT_TRUE(wait.hadWork);
    EXPECT_FALSE(wait.finished);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 100ms);
}
