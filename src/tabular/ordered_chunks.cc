#include "tabular/ordered_chunks.h"

#include <utility>

namespace propsmooth {

ChunkTurns::ChunkTurns(std::size_t chunks, std::size_t ahead)
    : chunks_(chunks), kept_(std::max<std::size_t>(ahead, 1)) {}

std::size_t ChunkTurns::Take() {
  std::unique_lock<std::mutex> lock(mutex_);
  if (failed_ || next_ >= chunks_) return chunks_;
  const std::size_t chunk = next_++;
  turn_changed_.wait(lock, [&] { return failed_ || chunk < written_ + kept_.size(); });
  return failed_ ? chunks_ : chunk;
}

std::size_t ChunkTurns::Written() {
  const std::lock_guard<std::mutex> lock(mutex_);
  return written_;
}

void ChunkTurns::Finish(std::size_t chunk, std::string* text, OutputFile* file) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (chunk != written_) {
    Kept& slot = kept_[chunk % kept_.size()];
    std::swap(slot.Text, *text);
    slot.Ready = true;
    text->clear();
    return;
  }
  // Only this thread writes until written_ passes the last ready chunk:
  // any other that finishes meanwhile finds its turn not yet come.
  for (;;) {
    lock.unlock();
    file->Write(*text);
    text->clear();
    lock.lock();
    ++written_;
    turn_changed_.notify_all();
    Kept& next = kept_[written_ % kept_.size()];
    if (!next.Ready) return;
    next.Ready = false;
    std::swap(next.Text, *text);
  }
}

void ChunkTurns::Fail() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    failed_ = true;
  }
  turn_changed_.notify_all();
}

}  // namespace propsmooth
