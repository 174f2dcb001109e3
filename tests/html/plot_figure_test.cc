#include "html/plot_figure.h"

#include <string>

#include <gtest/gtest.h>

namespace propsmooth {
namespace {

// A large group is thinned to every k-th region, k the smallest that keeps
// at most the cap; the note counts what is drawn: ceil(count / k).
TEST(AppendSampleNote, StatesTheStepAndTheCountDrawn) {
  struct Case {
    std::size_t Count, Cap;
    const char* Note;
  };
  const Case cases[] = {
      {4000, 4000, ""},
      {4001, 4000, " Every 2nd region is drawn (2001 of 4001)."},
      {9000, 4000, " Every 3rd region is drawn (3000 of 9000)."},
      {50, 10, " Every 5th region is drawn (10 of 50)."},
      {44001, 4000, " Every 12th region is drawn (3667 of 44001)."},
      {88000, 4000, " Every 22nd region is drawn (4000 of 88000)."},
      {50, 0, ""},  // no cap
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.Count << " regions, cap " << c.Cap);
    std::string note;
    AppendSampleNote(c.Count, SampleStep(c.Count, c.Cap), &note);
    EXPECT_EQ(note, c.Note);
  }
}

}  // namespace
}  // namespace propsmooth
