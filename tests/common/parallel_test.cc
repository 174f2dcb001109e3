// Work shared over threads: every task runs once, and what a thread throws
// reaches the caller after all tasks have ended.
#include "common/parallel.h"

#include <atomic>
#include <cstddef>
#include <new>
#include <stdexcept>
#include <vector>

#include <gtest/gtest.h>

namespace propsmooth {
namespace {

// Test that each task runs exactly once, whatever the count.
TEST(RunInParallel, RunsEveryTaskOnce) {
  for (const std::size_t count : {0u, 1u, 2u, 7u}) {
    SCOPED_TRACE(count);
    std::vector<std::atomic<int>> runs(count);
    RunInParallel(count, [&](std::size_t index) { ++runs[index]; });
    for (const std::atomic<int>& run : runs) EXPECT_EQ(run.load(), 1);
  }
}

// Test that an exception from the calling thread's task or from another
// thread's reaches the caller, and only after the other tasks have ended.
TEST(RunInParallel, PassesOnWhatATaskThrew) {
  for (const std::size_t thrower : {0u, 3u}) {
    SCOPED_TRACE(thrower);
    std::atomic<int> ended{0};
    EXPECT_THROW(RunInParallel(4,
                               [&](std::size_t index) {
                                 if (index == thrower) throw std::bad_alloc();
                                 ++ended;
                               }),
                 std::bad_alloc);
    EXPECT_EQ(ended.load(), 3);
  }
}

}  // namespace
}  // namespace propsmooth
