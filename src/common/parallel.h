// Work shared out over the cores, without losing what a thread throws.
#ifndef PROPSMOOTH_COMMON_PARALLEL_H_
#define PROPSMOOTH_COMMON_PARALLEL_H_

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

namespace propsmooth {

/// Runs task(0), ..., task(count - 1), each on a thread of its own, task(0)
/// on the calling thread. A task whose thread cannot be started runs on the
/// calling thread instead, after task(0). Returns when all have ended; then
/// rethrows the first exception a task threw (running out of memory, say),
/// so that a failure in any thread reaches the caller instead of ending the
/// process.
void RunInParallel(std::size_t count, const std::function<void(std::size_t)>& task);

/// A second thread that stays for many short tasks, one at a time: starting
/// a thread for every task costs more than a short task. Neither copied nor
/// moved, as its thread works on the object itself.
class WorkerThread {
 public:
  /// Throws std::system_error when no thread can be started.
  WorkerThread();
  ~WorkerThread();
  WorkerThread(const WorkerThread&) = delete;
  WorkerThread& operator=(const WorkerThread&) = delete;

  /// Runs `task` on the worker; `task` must live until Finish or Wait
  /// returns, and one of them must be called before the next Start.
  void Start(const std::function<void()>& task);

  /// Waits for the task, then rethrows what it threw (running out of
  /// memory, say) on the caller's thread.
  void Finish();

  /// Waits for the task; returns what it threw, if anything.
  std::exception_ptr Wait() noexcept;

 private:
  enum : int { kIdle, kPosted, kDone, kStop };

  void Serve();
  void SetState(int state, std::condition_variable* wake);
  void AwaitState(const std::function<bool(int)>& ready);

  // Changed under the mutex; read without it while spinning.
  std::atomic<int> state_{kIdle};
  std::mutex mutex_;
  std::condition_variable posted_;
  std::condition_variable done_;
  const std::function<void()>* task_ = nullptr;
  std::exception_ptr error_;
  std::thread thread_;  // last, so that it starts after the rest is set
};

/// Runs `first` on the calling thread and `second` on `worker` at the same
/// time, or both here one after the other when there is no worker. Returns
/// when both have ended, rethrowing what either threw.
void RunPair(WorkerThread* worker, const std::function<void()>& first,
             const std::function<void()>& second);

}  // namespace propsmooth

#endif  // PROPSMOOTH_COMMON_PARALLEL_H_
