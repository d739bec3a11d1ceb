#include "common/WorkerPool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>

namespace tabulo {
namespace {

TEST(WorkerPoolTest, PartsRunOnTheCallerAndIdleWorkersAlsoFromInsideAJob) {
    WorkerPool pool(3);
    ASSERT_EQ(pool.size(), 3);
    // Every worker busy with a job that itself shares work out: the callers do it, no one waits
    // for a thread that waits for them.
    std::atomic<int> sum = 0, finished = 0;
    for (int j = 0; j < 6; ++j) {
        pool.add([&] {
            pool.forEach(100, [&](std::size_t i) { sum += static_cast<int>(i); });
            ++finished;
        });
    }
    for (int i = 0; i < 500 && finished < 6; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(finished, 6);
    EXPECT_EQ(sum, 6 * 4950);

    WorkerPool none(0);
    EXPECT_EQ(none.size(), 0);
    int alone = 0;
    none.forEach(10, [&](std::size_t) { ++alone; });
    EXPECT_EQ(alone, 10);
}

TEST(WorkerPoolTest, AFailingPartIsThrownAtTheCallerAfterAllRan) {
    WorkerPool pool(2);
    std::atomic<int> ran = 0;
    EXPECT_THROW(pool.forEach(50,
                              [&](std::size_t i) {
                                  ++ran;
                                  if (i == 7) throw std::runtime_error("part 7");
                              }),
                 std::runtime_error);
    EXPECT_EQ(ran, 50);
}

TEST(WorkerPoolTest, StoppingDropsWhatHasNotBegunAndWaitsForWhatHas) {
    std::atomic<int> begun = 0, ended = 0;
    {
        WorkerPool pool(1);
        std::atomic<bool> release = false;
        pool.add([&] {
            ++begun;
            while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
            ++ended;
        });
        for (int i = 0; i < 10; ++i) pool.add([&] { ++begun; });
        while (begun == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        std::thread later([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            release = true;
        });
        pool.stop();  // returns only once the running job has ended
        EXPECT_EQ(ended, 1);
        later.join();
        pool.add([&] { ++begun; });  // after the stop: dropped
    }
    EXPECT_EQ(begun, 1);
}

}  // namespace
}  // namespace tabulo
