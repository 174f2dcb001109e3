// A column of text values, one per record, kept end to end in one buffer.
#ifndef PROPSMOOTH_TABULAR_TEXT_COLUMN_H_
#define PROPSMOOTH_TABULAR_TEXT_COLUMN_H_

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace propsmooth {

/// Values appended in order and read back by index. Ten million labels
/// cost their bytes and one offset each, not a string object and often a
/// heap block apiece. Copyable and movable as a value.
class TextColumn {
 public:
  std::size_t size() const { return ends_.size(); }
  bool empty() const { return ends_.empty(); }

  /// Value `i` (0 <= i < size()); valid until the next Append or Reserve.
  std::string_view operator[](std::size_t i) const {
    const std::size_t begin = i == 0 ? 0 : ends_[i - 1];
    return std::string_view(bytes_).substr(begin, ends_[i] - begin);
  }

  void Append(std::string_view value) {
    bytes_.append(value);
    ends_.push_back(bytes_.size());
  }

  /// Room for `values` values of `bytes` bytes in all, so that appending
  /// them copies nothing.
  void Reserve(std::size_t values, std::size_t bytes) {
    ends_.reserve(values);
    bytes_.reserve(bytes);
  }

 private:
  std::string bytes_;
  std::vector<std::size_t> ends_;  // one past each value's last byte
};

}  // namespace propsmooth

#endif  // PROPSMOOTH_TABULAR_TEXT_COLUMN_H_
