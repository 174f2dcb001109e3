// What a table writer writes, captured through an OutputFile.
#ifndef PROPSMOOTH_TESTS_TABULAR_WRITTEN_TEXT_H_
#define PROPSMOOTH_TESTS_TABULAR_WRITTEN_TEXT_H_

#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#include "common/output_file.h"

namespace propsmooth {

/// What `write` writes to a file, read back whole; empty, with a failure,
/// when the file cannot be made or is not closed cleanly.
template <typename Write>
std::string WrittenText(const Write& write) {
  std::FILE* file = std::tmpfile();
  EXPECT_NE(file, nullptr);
  if (file == nullptr) return {};
  OutputFile out;
  out.Attach(file);
  write(&out);
  EXPECT_TRUE(out.Close());
  std::rewind(file);
  std::string text;
  char block[1 << 12];
  std::size_t got = 0;
  while ((got = std::fread(block, 1, sizeof block, file)) > 0) text.append(block, got);
  std::fclose(file);
  return text;
}

}  // namespace propsmooth

#endif  // PROPSMOOTH_TESTS_TABULAR_WRITTEN_TEXT_H_
