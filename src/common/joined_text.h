// String constants joined at compile time, so that text two constants
// share is spelled once.
#ifndef PROPSMOOTH_COMMON_JOINED_TEXT_H_
#define PROPSMOOTH_COMMON_JOINED_TEXT_H_

#include <cstddef>

namespace propsmooth {

/// A NUL-terminated text of `Size` - 1 characters, made by JoinText.
template <std::size_t Size>
struct JoinedText {
  char Chars[Size] = {};
};

/// The string literals `parts` one after another, as one constant:
/// `inline constexpr auto kLine = JoinText(kColumns, "\r\n");` and then
/// `kLine.Chars`.
template <std::size_t... Sizes>
constexpr JoinedText<(Sizes + ...) - sizeof...(Sizes) + 1> JoinText(
    const char (&... parts)[Sizes]) {
  JoinedText<(Sizes + ...) - sizeof...(Sizes) + 1> joined;
  std::size_t at = 0;
  // Each part's own terminating NUL is left behind.
  const auto append = [&joined, &at](const char* part, std::size_t size) {
    for (std::size_t i = 0; i + 1 < size; ++i) joined.Chars[at++] = part[i];
  };
  (append(parts, Sizes), ...);
  return joined;
}

}  // namespace propsmooth

#endif  // PROPSMOOTH_COMMON_JOINED_TEXT_H_
