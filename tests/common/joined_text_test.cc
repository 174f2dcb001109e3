#include "common/joined_text.h"

#include <string_view>

#include <gtest/gtest.h>

namespace propsmooth {
namespace {

constexpr char kHead[] = "a\tb";
constexpr auto kJoined = JoinText(kHead, "", "\r\n", "c");

// Parts follow one another without their terminators; an empty part adds
// nothing; the result is one terminated text, usable at compile time.
TEST(JoinText, PutsThePartsEndToEnd) {
  static_assert(sizeof kJoined.Chars == 7);
  EXPECT_EQ(std::string_view(kJoined.Chars), "a\tb\r\nc");
  EXPECT_EQ(kJoined.Chars[6], '\0');
}

}  // namespace
}  // namespace propsmooth
