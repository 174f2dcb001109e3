#include "tabular/ordered_chunks.h"

#include <algorithm>
#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "tabular/written_text.h"

namespace propsmooth {
namespace {

void Pause(int milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

// Rows are numbered lines. The slow chunk holds back the turn while the
// others finish theirs; early chunks slower than later ones finish in
// reverse. Whatever the order of finishing, the text is in row order and
// progress comes from the calling thread only, never past the rows written.
TEST(WriteChunksInOrder, RowsInOrderHoweverTheChunksFinish) {
  struct Case {
    const char* Name;
    std::size_t Rows, ChunkRows;
    unsigned Workers;
    int SlowChunk;      // sleeps 30 ms; -1: none
    bool EarlierSlower;  // chunk c sleeps (8 - c % 8) ms
  };
  const Case cases[] = {
      {"one thread", 1000, 7, 1, 3, false},
      {"first chunk slow", 1000, 10, 4, 0, false},
      {"a middle chunk slow", 1000, 10, 3, 40, false},
      {"earlier chunks slower", 500, 10, 6, -1, true},
      {"one partial chunk", 5, 10, 4, 0, false},
      {"no rows", 0, 10, 3, -1, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    std::string expected;
    for (std::size_t i = 0; i < c.Rows; ++i) expected += std::to_string(i) + "\n";
    std::size_t last_done = 0;
    const std::string text = WrittenText([&](OutputFile* file) {
      WriteChunksInOrder(
          c.Rows, c.ChunkRows, file,
          [&, caller = std::this_thread::get_id()](std::size_t done, std::size_t total) {
            EXPECT_EQ(std::this_thread::get_id(), caller);
            EXPECT_EQ(total, c.Rows);
            EXPECT_GE(done, last_done);
            EXPECT_LE(done, total);
            last_done = done;
          },
          c.Workers, [&] {
            return [&](std::size_t begin, std::size_t end, std::string* block) {
              const std::size_t chunk = begin / c.ChunkRows;
              if (static_cast<int>(chunk) == c.SlowChunk) Pause(30);
              if (c.EarlierSlower) Pause(8 - static_cast<int>(chunk % 8));
              for (std::size_t i = begin; i < end; ++i) *block += std::to_string(i) + "\n";
            };
          });
    });
    EXPECT_EQ(text, expected);
  }
}

// While the chunk whose turn it is lags, the other threads take no chunk
// `ahead` or more past it: what is kept stays bounded.
TEST(ChunkTurns, TakesNoChunkTooFarAheadOfTheOneToWrite) {
  constexpr std::size_t kChunks = 60;
  for (const std::size_t ahead : {std::size_t{1}, std::size_t{2}, std::size_t{5}}) {
    SCOPED_TRACE(ahead);
    std::vector<int> taken(kChunks, 0);
    const std::string text = WrittenText([&](OutputFile* file) {
      ChunkTurns turns(kChunks, ahead);
      RunInParallel(4, [&](std::size_t) {
        std::string block;
        for (std::size_t chunk = turns.Take(); chunk < turns.chunks(); chunk = turns.Take()) {
          EXPECT_LT(chunk, turns.Written() + ahead);
          ++taken[chunk];
          if (chunk % 10 == 0) Pause(20);
          block = std::to_string(chunk) + ",";
          turns.Finish(chunk, &block, file);
          EXPECT_TRUE(block.empty());
        }
      });
      EXPECT_EQ(turns.Written(), kChunks);
    });
    std::string expected;
    for (std::size_t c = 0; c < kChunks; ++c) expected += std::to_string(c) + ",";
    EXPECT_EQ(text, expected);
    EXPECT_EQ(std::count(taken.begin(), taken.end(), 1), static_cast<long>(kChunks));
  }
}

// A chunk that throws (running out of memory, say) ends the table: the
// error reaches the caller and no thread is left waiting for its turn.
TEST(WriteChunksInOrder, AFailingChunkReachesTheCallerWithoutAHang) {
  struct Case {
    const char* Name;
    unsigned Workers;
    std::size_t Failing;
  };
  const Case cases[] = {
      {"first chunk, four threads", 4, 0},
      {"a middle chunk, three threads", 3, 25},
      {"last chunk, one thread", 1, 99},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    WrittenText([&](OutputFile* file) {
      EXPECT_THROW(WriteChunksInOrder(1000, 10, file, nullptr, c.Workers,
                                      [&] {
                                        return [&](std::size_t begin, std::size_t,
                                                   std::string* block) {
                                          if (begin / 10 == c.Failing) {
                                            Pause(10);
                                            throw std::runtime_error("chunk failed");
                                          }
                                          block->append("x");
                                        };
                                      }),
                   std::runtime_error);
    });
  }
}

}  // namespace
}  // namespace propsmooth
