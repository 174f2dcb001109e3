#include "common/fill_later.h"

#include <gtest/gtest.h>

#include <string>

namespace propsmooth {
namespace {

// Only trivially copyable entries may be left unset: a string made without
// its constructor would free garbage on destruction.
TEST(FillLaterVector, ConstructsWhatNeedsConstructing) {
  FillLaterVector<std::string> texts;
  texts.resize(3);
  for (const std::string& text : texts) EXPECT_TRUE(text.empty());
  texts.resize(5, "x");
  EXPECT_EQ(texts[4], "x");
  EXPECT_EQ(texts[2], "");
}

TEST(FillLaterVector, KeepsValuesGivenAndEntriesSetOnGrowth) {
  FillLaterVector<int> numbers(4, 7);
  for (const int n : numbers) EXPECT_EQ(n, 7);
  FillLaterVector<double> table = FillLaterVector<double>(1000);
  ASSERT_EQ(table.size(), 1000u);
  for (std::size_t i = 0; i < table.size(); ++i) table[i] = static_cast<double>(i);
  table.resize(3000);  // moves the set entries along
  for (std::size_t i = 0; i < 1000; ++i) ASSERT_EQ(table[i], static_cast<double>(i));
  EXPECT_TRUE(FillLaterVector<int>(0).empty());
}

}  // namespace
}  // namespace propsmooth
