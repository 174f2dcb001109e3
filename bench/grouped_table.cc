// Writes one seeded table of grouped counts twice: as CSV with a header
// (group,count,size) and as the same records in propsmooth's four-number
// format (Unit = the group's number, Code = the row), for timing
// propsmooth-report on each.
// Usage: propsmooth_grouped_table ROWS GROUPS CSV_FILE LEGACY_FILE [MEDIAN_SIZE]
// (MEDIAN_SIZE 300 when not given; small sizes make counts and sizes repeat
// within a group, which the report computes an interval for once).
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <string_view>

namespace {

constexpr std::uint64_t kSeed = 0x5eed2026;

bool ReadCount(std::string_view text, std::uint64_t* value) {
  const auto result = std::from_chars(text.data(), text.data() + text.size(), *value);
  return result.ec == std::errc() && result.ptr == text.data() + text.size() && *value > 0;
}

double DrawBeta(double a, double b, std::mt19937_64* rng) {
  std::gamma_distribution<double> ga(a, 1.0);
  std::gamma_distribution<double> gb(b, 1.0);
  const double x = ga(*rng);
  return x / (x + gb(*rng));
}

void AppendNumber(std::uint64_t value, std::string* out) {
  char text[24];
  const auto result = std::to_chars(text, text + sizeof text, value);
  out->append(text, result.ptr);
}

class Writer {
 public:
  explicit Writer(const char* name) : name_(name), file_(std::fopen(name, "wb")) {}
  ~Writer() {
    if (file_ != nullptr) std::fclose(file_);
  }
  Writer(const Writer&) = delete;
  Writer& operator=(const Writer&) = delete;

  bool ok() const { return file_ != nullptr && ok_; }
  std::string& text() { return text_; }
  void FlushIfFull() {
    if (text_.size() >= (1u << 20)) Flush();
  }
  bool Close() {
    Flush();
    const bool closed = std::fclose(file_) == 0;
    file_ = nullptr;
    if (!ok_ || !closed) std::perror(name_);
    return ok_ && closed;
  }

 private:
  void Flush() {
    ok_ = ok_ && std::fwrite(text_.data(), 1, text_.size(), file_) == text_.size();
    text_.clear();
  }

  const char* name_;
  std::FILE* file_;
  std::string text_;
  bool ok_ = true;
};

}  // namespace

int main(int argc, char** argv) {
  std::uint64_t rows = 0;
  std::uint64_t groups = 0;
  std::uint64_t median_size = 300;
  if ((argc != 5 && argc != 6) || !ReadCount(argv[1], &rows) || !ReadCount(argv[2], &groups) ||
      groups > rows || (argc == 6 && !ReadCount(argv[5], &median_size))) {
    std::fputs("usage: propsmooth_grouped_table ROWS GROUPS CSV_FILE LEGACY_FILE [MEDIAN_SIZE]\n",
               stderr);
    return 2;
  }
  Writer csv(argv[3]);
  Writer legacy(argv[4]);
  if (!csv.ok() || !legacy.ok()) {
    std::perror(csv.ok() ? argv[4] : argv[3]);
    return 1;
  }
  // Areas of a few hundred people (the median size), many smaller and a few
  // far larger (a log-normal spread), a rate around 5% that varies from group to group
  // and, beyond chance, from area to area within a group. Rows come group
  // by group, as a table sorted by its group column does.
  std::mt19937_64 rng(kSeed);
  std::lognormal_distribution<double> size_draw(std::log(static_cast<double>(median_size)),
                                                1.0);
  csv.text() = "group,count,size\n";
  std::uint64_t code = 0;
  for (std::uint64_t g = 0; g < groups; ++g) {
    const std::uint64_t in_group = rows / groups + (g < rows % groups ? 1 : 0);
    const double group_rate = DrawBeta(5.0, 95.0, &rng);
    for (std::uint64_t r = 0; r < in_group; ++r) {
      const auto size = static_cast<std::int32_t>(
          std::clamp(std::llround(size_draw(rng)), 1LL, 2000000LL));
      const double rate = DrawBeta(200.0 * group_rate, 200.0 * (1.0 - group_rate), &rng);
      std::binomial_distribution<std::int32_t> count_draw(size, rate);
      const auto count = static_cast<std::uint64_t>(count_draw(rng));
      ++code;
      std::string& c = csv.text();
      c.push_back('G');
      AppendNumber(g + 1, &c);
      c.push_back(',');
      AppendNumber(count, &c);
      c.push_back(',');
      AppendNumber(static_cast<std::uint64_t>(size), &c);
      c.push_back('\n');
      std::string& l = legacy.text();
      AppendNumber(g + 1, &l);
      l.push_back(' ');
      AppendNumber(code, &l);
      l.push_back(' ');
      AppendNumber(count, &l);
      l.push_back(' ');
      AppendNumber(static_cast<std::uint64_t>(size), &l);
      l.push_back('\n');
      csv.FlushIfFull();
      legacy.FlushIfFull();
    }
  }
  return csv.Close() && legacy.Close() ? 0 : 1;
}
