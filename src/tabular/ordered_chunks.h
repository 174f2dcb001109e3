// A table's rows made in chunks on several threads and written in order.
#ifndef PROPSMOOTH_TABULAR_ORDERED_CHUNKS_H_
#define PROPSMOOTH_TABULAR_ORDERED_CHUNKS_H_

#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "common/output_file.h"
#include "common/parallel.h"

namespace propsmooth {

/// Hands out chunks of rows to the threads and writes the chunks in order,
/// so that a table is the same whoever formatted what. A chunk finished
/// before its turn is kept and its thread goes on to the next: waiting for
/// the turn left a core idle for a fifth of a million-row table's writing,
/// as one chunk's intervals can take many times another's. The thread that
/// finishes the chunk whose turn it is writes it and the kept chunks that
/// follow it. A thread that fails lets the others go rather than wait.
class ChunkTurns {
 public:
  /// At most `ahead` chunks (at least 1) are taken past the next to be
  /// written, which bounds the text kept.
  ChunkTurns(std::size_t chunks, std::size_t ahead);

  /// The next chunk to format, or chunks() when none is left or another
  /// thread failed. Waits while the chunk would be too far ahead: the
  /// chunks before it are all taken, so the one whose turn it is is being
  /// formatted and its writing ends the wait.
  std::size_t Take();

  std::size_t chunks() const { return chunks_; }

  /// The chunks written so far.
  std::size_t Written();

  /// Takes `*text`, the rows of `chunk`: writes it to `file` if its turn
  /// has come, with every kept chunk after it that is ready, or else keeps
  /// it. *text comes back empty (with room) for the next chunk.
  void Finish(std::size_t chunk, std::string* text, OutputFile* file);

  void Fail();

 private:
  struct Kept {
    std::string Text;
    bool Ready = false;
  };

  const std::size_t chunks_;
  std::mutex mutex_;
  std::condition_variable turn_changed_;
  std::size_t next_ = 0;
  std::size_t written_ = 0;
  // Chunk c waits in kept_[c % kept_.size()]: the chunks kept lie
  // between written_ + 1 and written_ + kept_.size() - 1.
  std::vector<Kept> kept_;
  bool failed_ = false;
};

/// Writes `rows` rows made in chunks of `chunk_rows` on up to `workers`
/// threads, in order. Each thread makes its own `format` with
/// make_format(); format(begin, end, &block) appends rows [begin, end).
/// `progress` (if any) is told the rows written, on the calling thread
/// only. What a thread throws reaches the caller; the other threads stop at
/// their next chunk.
template <typename MakeFormat>
void WriteChunksInOrder(std::size_t rows, std::size_t chunk_rows, OutputFile* file,
                        const std::function<void(std::size_t done, std::size_t total)>& progress,
                        unsigned workers, const MakeFormat& make_format) {
  const unsigned threads = std::max(1u, workers);
  // Four chunks a thread: enough for a slow chunk to fall behind by a few
  // without stopping the others, and a quarter of a megabyte of text each.
  ChunkTurns turns((rows + chunk_rows - 1) / chunk_rows, 4 * std::size_t{threads});
  RunInParallel(threads, [&](std::size_t thread) {
    try {
      auto format = make_format();
      std::string block;
      for (std::size_t chunk = turns.Take(); chunk < turns.chunks(); chunk = turns.Take()) {
        const std::size_t begin = chunk * chunk_rows;
        const std::size_t end = std::min(rows, begin + chunk_rows);
        format(begin, end, &block);
        turns.Finish(chunk, &block, file);
        if (thread == 0 && progress) progress(std::min(rows, turns.Written() * chunk_rows), rows);
      }
    } catch (...) {
      turns.Fail();
      throw;
    }
  });
}

}  // namespace propsmooth

#endif  // PROPSMOOTH_TABULAR_ORDERED_CHUNKS_H_
