#include "strict_output/result_table.h"

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <thread>
#include <vector>

#include "common/parallel.h"
#include "strict_output/number_format.h"

namespace propsmooth {

void AppendResultFields(const RegionRecord& record, std::string* out) {
  char text[4 * (kMaxIntText + 1) + 3 * (kMaxFixed6Text + 1)];
  char* at = text;
  for (const std::int32_t field : {record.Unit, record.Code, record.Data1, record.Data2}) {
    at = WriteInt(field, at);
    *at++ = '\t';
  }
  // Each percentage is one multiplication, rounded once.
  at = WriteFixed6(100.0 * record.Proportion(), at);
  *at++ = '\t';
  at = WriteFixed6(100.0 * record.EbPropMe, at);
  *at++ = '\t';
  at = WriteEstimate(record.EbPropMle ? std::optional(100.0 * *record.EbPropMle) : std::nullopt,
                     at);
  out->append(text, static_cast<std::size_t>(at - text));
}

void AppendResultRow(const RegionRecord& record, std::string* out) {
  AppendResultFields(record, out);
  out->append("\r\n");
}

void WriteResultTable(const RecordTable& table, OutputFile* file) {
  file->Write(kResultHeader);
  // Rows are formatted a block at a time, the blocks of one round side by
  // side on the available cores, and written in file order.
  constexpr std::size_t kBlockRows = std::size_t{1} << 15;
  const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  const std::size_t workers = table.size() >= 2 * kBlockRows ? cores : 1;
  std::vector<std::string> blocks(workers);
  const auto format = [&table](std::size_t begin, std::size_t end, std::string* block) {
    block->clear();
    for (std::size_t i = begin; i < end; ++i) AppendResultRow(table[i], block);
  };
  for (std::size_t round = 0; round < table.size(); round += workers * kBlockRows) {
    RunInParallel(workers, [&](std::size_t w) {
      const std::size_t begin = std::min(table.size(), round + w * kBlockRows);
      format(begin, std::min(table.size(), begin + kBlockRows), &blocks[w]);
    });
    for (const std::string& block : blocks) {
      file->Write(block);
      if (!file->ok()) return;
    }
  }
}

}  // namespace propsmooth
