#include "common/parallel.h"

#include <exception>
#include <mutex>
#include <thread>
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

}  // namespace propsmooth
