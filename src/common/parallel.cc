#include "common/parallel.h"

#include <exception>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace propsmooth {

void RunInParallel(std::size_t count, const std::function<void(std::size_t)>& task) {
  std::mutex mutex;
  std::exception_ptr first_error;
  const auto guarded = [&](std::size_t index) {
    try {
      task(index);
    } catch (...) {
      const std::lock_guard<std::mutex> lock(mutex);
      if (!first_error) first_error = std::current_exception();
    }
  };
  // Both reserved before any thread starts, so that nothing below can
  // throw while a thread runs unjoined.
  std::vector<std::thread> threads;
  std::vector<std::size_t> not_started;
  threads.reserve(count);
  not_started.reserve(count);
  for (std::size_t index = 1; index < count; ++index) {
    try {
      threads.emplace_back(guarded, index);
    } catch (const std::exception&) {
      // No thread to be had: the system's limit, or no memory for a stack.
      not_started.push_back(index);
    }
  }
  if (count > 0) guarded(0);
  for (const std::size_t index : not_started) guarded(index);
  for (std::thread& thread : threads) thread.join();
  if (first_error) std::rethrow_exception(first_error);
}

namespace {

// Steps are short: a moment of spinning spares most of the sleeps.
constexpr int kSpins = 1 << 11;

void CpuRelax() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_ia32_pause();
#elif defined(__aarch64__)
  asm volatile("yield");
#endif
}

}  // namespace

WorkerThread::WorkerThread() : thread_([this] { Serve(); }) {}

WorkerThread::~WorkerThread() {
  state_.store(kStop);
  state_.notify_one();
  thread_.join();
}

void WorkerThread::Start(const std::function<void()>& task) {
  task_ = &task;
  state_.store(kPosted);
  state_.notify_one();
}

void WorkerThread::Finish() {
  if (std::exception_ptr error = Wait()) std::rethrow_exception(error);
}

std::exception_ptr WorkerThread::Wait() noexcept {
  for (int spin = 0; spin < kSpins && state_.load() != kDone; ++spin) CpuRelax();
  for (int state = state_.load(); state != kDone; state = state_.load()) {
    state_.wait(state);
  }
  state_.store(kIdle);
  return std::exchange(error_, nullptr);
}

void WorkerThread::Serve() {
  const auto waiting = [](int state) { return state == kIdle || state == kDone; };
  for (;;) {
    for (int spin = 0; spin < kSpins && waiting(state_.load()); ++spin) CpuRelax();
    int state = state_.load();
    while (waiting(state)) {
      state_.wait(state);
      state = state_.load();
    }
    if (state == kStop) return;
    try {
      (*task_)();
    } catch (...) {
      error_ = std::current_exception();
    }
    state_.store(kDone);
    state_.notify_one();
  }
}

void RunPair(WorkerThread* worker, const std::function<void()>& first,
             const std::function<void()>& second) {
  if (worker == nullptr) {
    first();
    second();
    return;
  }
  worker->Start(second);
  try {
    first();
  } catch (...) {
    // The worker may use the caller's frame: it must be done first.
    static_cast<void>(worker->Wait());
    throw;
  }
  worker->Finish();
}

}  // namespace propsmooth
