// Tests of WorkerThread: start, join with the exit code, the running state and the thread id.
#include "tarsklib/worker-thread.h"

#include <gtest/gtest.h>

#include <atomic>

namespace tarsk {
namespace {

// Runs until released, then answers its exit code; records the order of prepare and run.
class GatedWorker : public WorkerThread {
public:
    explicit GatedWorker(int code) : exitCode(code) {}
    ~GatedWorker() override {
        release();
        join();
    }

    void release() { gate.store(true); }
    int prepares() const { return prepareCount.load(); }
    int runs() const { return runCount.load(); }
    uint64_t idSeenInside() const { return insideId.load(); }
    uint64_t idAnsweredInside() const { return insideAnswer.load(); }
    bool preparedBeforeRun() const { return prepareBeforeRun.load(); }

protected:
    void prepare() override { prepareCount.fetch_add(1); }
    int run() override {
        prepareBeforeRun.store(prepareCount.load() == runCount.load() + 1);
        runCount.fetch_add(1);
        insideId.store(currentThreadId());
        insideAnswer.store(threadId());
        while (!gate.load()) {
            sleepMs(1);
        }
        return exitCode;
    }

private:
    int exitCode;
    std::atomic<bool> gate{false};
    std::atomic<int> prepareCount{0};
    std::atomic<int> runCount{0};
    std::atomic<uint64_t> insideId{0};
    std::atomic<uint64_t> insideAnswer{0};
    std::atomic<bool> prepareBeforeRun{false};
};

TEST(WorkerThread, StartsRunsAndJoinsWithTheExitCode) {
    GatedWorker worker(42);
    EXPECT_FALSE(worker.isRunning());
    EXPECT_EQ(worker.threadId(), 0u);
    EXPECT_EQ(worker.join(), 0);  // nothing to join

    ASSERT_TRUE(worker.start());
    EXPECT_TRUE(worker.isRunning());
    uint64_t id = worker.threadId();
    EXPECT_NE(id, 0u);
    EXPECT_NE(id, currentThreadId());
    EXPECT_FALSE(worker.start());  // refused while the thread runs
    EXPECT_EQ(worker.prepares(), 1);

    worker.release();
    EXPECT_EQ(worker.join(), 42);
    EXPECT_FALSE(worker.isRunning());
    EXPECT_EQ(worker.threadId(), 0u);
    EXPECT_EQ(worker.join(), 0);  // the thread was forgotten
    EXPECT_EQ(worker.runs(), 1);
    EXPECT_TRUE(worker.preparedBeforeRun());
    EXPECT_EQ(worker.idSeenInside(), id);
    EXPECT_EQ(worker.idAnsweredInside(), id);  // known to the body as soon as it runs
}

TEST(WorkerThread, StartsAgainAfterTheBodyHasReturned) {
    GatedWorker worker(7);
    worker.release();
    ASSERT_TRUE(worker.start());
    while (worker.isRunning()) {
        sleepMs(1);
    }
    EXPECT_NE(worker.threadId(), 0u);  // finished, but not joined yet
    ASSERT_TRUE(worker.start());      // joins the old thread and starts a new one
    EXPECT_EQ(worker.join(), 7);
    EXPECT_EQ(worker.prepares(), 2);
    EXPECT_EQ(worker.runs(), 2);
    EXPECT_TRUE(worker.preparedBeforeRun());

    GatedWorker stillRunning(1);
    ASSERT_TRUE(stillRunning.start());
    EXPECT_TRUE(stillRunning.isRunning());
}  // stillRunning's destructor releases and joins its thread

}  // namespace
}  // namespace tarsk
