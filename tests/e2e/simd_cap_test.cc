// PROPSMOOTH_SIMD on the real program: every cap writes the same bytes,
// and a name it does not know ends the run before anything is touched.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "e2e/run_tool.h"

namespace propsmooth::e2e {
namespace {

// Large counts, so that the vector runs, their ties and the second
// thread all take part.
std::string LargeCounts() {
  std::string data;
  for (int i = 1; i <= 30; ++i) {
    const int size = 20000 + (i * 7919) % 180000;
    data += "-1 " + std::to_string(i) + " " + std::to_string(size / (20 + i % 9)) + " " +
            std::to_string(size) + "\n";
  }
  return data;
}

struct Outcome {
  ToolResult Result;
  std::string Table;
  std::string Log;
};

Outcome RunOn(const std::string& data) {
  TempDir dir;
  WriteFile(dir / "data.txt", data);
  Outcome run;
  run.Result = RunTool(dir.path(), {"data.txt", "out.txt"});
  run.Table = ReadFile(dir / "out.txt");
  run.Log = ReadFile(dir / "out.log");
  return run;
}

TEST(SimdCap, EveryCapWritesTheSameBytes) {
  const std::string inputs[] = {ReadFile(SourceDir() / "examples" / "rats.txt"), LargeCounts()};
  for (const std::string& data : inputs) {
    const Outcome best = RunOn(data);
    ASSERT_EQ(best.Result.Status, 0);
    for (const char* cap : {"auto", "scalar", "ssse3", "sse4", "avx2", "avx512", "neon",
                            "sve", "sve2"}) {
      SCOPED_TRACE(cap);
      const ScopedEnvironment variable("PROPSMOOTH_SIMD", cap);
      const Outcome capped = RunOn(data);
      EXPECT_EQ(capped.Result.Status, 0);
      EXPECT_EQ(capped.Result.Stdout, best.Result.Stdout);
      EXPECT_EQ(capped.Table, best.Table);
      EXPECT_EQ(capped.Log, best.Log);
    }
  }
}

TEST(SimdCap, UnknownNameEndsTheRunFirst) {
  for (const char* value : {"AVX2", "avx-512", "fastest", " "}) {
    SCOPED_TRACE(value);
    const ScopedEnvironment variable("PROPSMOOTH_SIMD", value);
    TempDir dir;
    WriteFile(dir / "data.txt", "-1 1 3 10\n-1 2 5 12\n");
    const ToolResult result = RunTool(dir.path(), {"data.txt", "out.txt"});
    EXPECT_EQ(result.Status, 1);
    EXPECT_EQ(result.Stdout, "");
    EXPECT_EQ(result.Stderr, std::string("propsmooth: PROPSMOOTH_SIMD=\"") + value +
                                 "\" names no instruction set; it takes auto, scalar, ssse3, "
                                 "sse4, avx2, avx512, neon, sve or sve2\n");
    EXPECT_EQ(ListFiles(dir.path()), std::vector<std::string>{"data.txt"});
  }
}

}  // namespace
}  // namespace propsmooth::e2e
