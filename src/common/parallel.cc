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
  SetState(kStop, &posted_);
  thread_.join();
}

void WorkerThread::SetState(int state, std::condition_variable* wake) {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    state_.store(state);
  }
  wake->notify_one();
}

void WorkerThread::AwaitState(const std::function<bool(int)>& ready) {
  for (int spin = 0; spin < kSpins && !ready(state_.load()); ++spin) CpuRelax();
  if (ready(state_.load())) return;
  std::condition_variable& wake = ready(kDone) ? done_ : posted_;
  std::unique_lock<std::mutex> lock(mutex_);
  wake.wait(lock, [&] { return ready(state_.load()); });
}

void WorkerThread::Start(const std::function<void()>& task) {
  task_ = &task;
  SetState(kPosted, &posted_);
}

void WorkerThread::Finish() {
  if (std::exception_ptr error = Wait()) std::rethrow_exception(error);
}

std::exception_ptr WorkerThread::Wait() noexcept {
  AwaitState([](int state) { return state == kDone; });
  state_.store(kIdle);
  return std::exchange(error_, nullptr);
}

void WorkerThread::Serve() {
  for (;;) {
    AwaitState([](int state) { return state == kPosted || state == kStop; });
    if (state_.load() == kStop) return;
    try {
      (*task_)();
    } catch (...) {
      error_ = std::current_exception();
    }
    {
      // The destructor may have asked to stop while the task ran: kDone
      // must not overwrite that, or this loop would wait for a next task
      // that never comes while the destructor waits for it to end.
      const std::lock_guard<std::mutex> lock(mutex_);
      if (state_.load() == kStop) return;
      state_.store(kDone);
    }
    done_.notify_one();
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
