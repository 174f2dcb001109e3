// Work shared out over the cores, without losing what a thread throws.
#ifndef PROPSMOOTH_COMMON_PARALLEL_H_
#define PROPSMOOTH_COMMON_PARALLEL_H_

#include <cstddef>
#include <functional>

namespace propsmooth {

/// Runs task(0), ..., task(count - 1), each on a thread of its own, task(0)
/// on the calling thread. A task whose thread cannot be started runs on the
/// calling thread instead, after task(0). Returns when all have ended; then
/// rethrows the first exception a task threw (running out of memory, say),
/// so that a failure in any thread reaches the caller instead of ending the
/// process.
void RunInParallel(std::size_t count, const std::function<void(std::size_t)>& task);

}  // namespace propsmooth

#endif  // PROPSMOOTH_COMMON_PARALLEL_H_
