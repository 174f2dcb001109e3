// A line on the terminal that says how far a long run has got.
#ifndef PROPSMOOTH_REPORT_APP_PROGRESS_LINE_H_
#define PROPSMOOTH_REPORT_APP_PROGRESS_LINE_H_

#include <cstddef>
#include <cstdio>
#include <functional>
#include <string>
#include <string_view>

namespace propsmooth {

/// Shows "<program>: <text>" on a terminal once the run has taken more than
/// a second, each new text written over the last one (carriage return),
/// and wipes it at the end, so that a short run, or one whose standard
/// error is no terminal, never shows it. Used from one thread. Not
/// copyable.
class ProgressLine {
 public:
  /// Monotonic time in seconds.
  using Clock = std::function<double()>;

  /// Writes to `terminal`, or nowhere when it is null; reads the start
  /// time from `clock` now.
  ProgressLine(std::FILE* terminal, std::string_view program, Clock clock);
  ~ProgressLine() { Clear(); }
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;

  /// "<done>/<total> <what>", shown once a second has passed since the
  /// start, and then at most five times a second.
  void Count(std::size_t done, std::size_t total, std::string_view what);

  /// Wipes the line, when one is shown, before other text is written there.
  void Clear();

 private:
  std::FILE* terminal_;
  std::string program_;
  Clock clock_;
  double start_ = 0.0;
  double shown_at_ = 0.0;
  std::size_t shown_width_ = 0;  // 0: nothing on the line
};

}  // namespace propsmooth

#endif  // PROPSMOOTH_REPORT_APP_PROGRESS_LINE_H_
