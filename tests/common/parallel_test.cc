// Work shared over threads: every task runs once, and what a thread throws
// reaches the caller after all tasks have ended.
#include "common/parallel.h"

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdlib>
#include <functional>
#include <new>
#include <stdexcept>
#include <thread>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

namespace propsmooth {
namespace {

// Test that each task runs exactly once, whatever the count, and that an
// exception from the calling thread's task or from another thread's
// reaches the caller, and only after the other tasks have ended.
TEST(RunInParallel, RunsEveryTaskOnceAndPassesOnWhatOneThrew) {
  constexpr std::size_t kNone = 99;
  const std::pair<std::size_t, std::size_t> cases[] = {
      {0, kNone}, {1, kNone}, {2, kNone}, {7, kNone}, {4, 0}, {4, 3}};
  for (const auto& one : cases) {
    // Plain copies: clang 14 cannot capture a structured binding.
    const std::size_t count = one.first;
    const std::size_t thrower = one.second;
    SCOPED_TRACE(::testing::Message() << count << " tasks, thrower " << thrower);
    std::vector<std::atomic<int>> runs(count);
    const auto task = [&](std::size_t index) {
      ++runs[index];
      if (index == thrower) throw std::bad_alloc();
    };
    if (thrower == kNone) {
      RunInParallel(count, task);
    } else {
      EXPECT_THROW(RunInParallel(count, task), std::bad_alloc);
    }
    for (const std::atomic<int>& run : runs) EXPECT_EQ(run.load(), 1);
  }
}

// When a worker is destroyed: before any task, after a task nobody waited
// for, after one waited for, and while a task still runs.
enum class DestroyedWhen { kIdle, kDoneNotWaited, kWaited, kMidTask };

void DestroyWorker(DestroyedWhen when) {
  std::atomic<bool> started{false};
  const std::function<void()> task = [&] {
    started = true;
    // Long enough for the destructor to find the task running.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  };
  const std::function<void()> quick = [] {};
  WorkerThread worker;
  switch (when) {
    case DestroyedWhen::kIdle:
      break;
    case DestroyedWhen::kDoneNotWaited:
      worker.Start(quick);
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      break;
    case DestroyedWhen::kWaited:
      worker.Start(quick);
      worker.Finish();
      break;
    case DestroyedWhen::kMidTask:
      worker.Start(task);
      while (!started) std::this_thread::yield();
      break;
  }
}

// Test that destroying a worker returns whatever it was doing. Each case
// runs in a child process that an alarm ends, so that a deadlock fails
// the test instead of hanging it.
TEST(WorkerThread, DestructorReturnsInEveryState) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  for (const DestroyedWhen when : {DestroyedWhen::kIdle, DestroyedWhen::kDoneNotWaited,
                                   DestroyedWhen::kWaited, DestroyedWhen::kMidTask}) {
    SCOPED_TRACE(static_cast<int>(when));
    EXPECT_EXIT(
        {
          alarm(5);
          DestroyWorker(when);
          std::_Exit(0);
        },
        ::testing::ExitedWithCode(0), "");
  }
}

}  // namespace
}  // namespace propsmooth
