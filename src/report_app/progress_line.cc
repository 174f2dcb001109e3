#include "report_app/progress_line.h"

#include <utility>

namespace propsmooth {
namespace {

constexpr double kQuietSeconds = 1.0;
constexpr double kEverySeconds = 0.2;

}  // namespace

ProgressLine::ProgressLine(std::FILE* terminal, std::string_view program, Clock clock)
    : terminal_(terminal), program_(program), clock_(std::move(clock)) {
  if (terminal_ != nullptr) start_ = clock_();
}

void ProgressLine::Count(std::size_t done, std::size_t total, std::string_view what) {
  if (terminal_ == nullptr) return;
  const double now = clock_();
  if (now - start_ <= kQuietSeconds) return;
  if (shown_width_ > 0 && now - shown_at_ < kEverySeconds && done < total) return;
  std::string line = program_ + ": " + std::to_string(done) + "/" + std::to_string(total) +
                     " " + std::string(what);
  const std::size_t width = line.size();
  // Blanks over what a longer line before left.
  if (width < shown_width_) line.append(shown_width_ - width, ' ');
  line.insert(0, "\r");
  std::fwrite(line.data(), 1, line.size(), terminal_);
  std::fflush(terminal_);
  shown_at_ = now;
  shown_width_ = width;
}

void ProgressLine::Clear() {
  if (terminal_ == nullptr || shown_width_ == 0) return;
  std::string wipe = "\r";
  wipe.append(shown_width_, ' ');
  wipe.push_back('\r');
  std::fwrite(wipe.data(), 1, wipe.size(), terminal_);
  std::fflush(terminal_);
  shown_width_ = 0;
}

}  // namespace propsmooth
