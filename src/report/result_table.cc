#include "report/result_table.h"

#include "report/number_format.h"

namespace propsmooth {

void AppendResultFields(const RegionRecord& record, std::string* out) {
  AppendInt(record.Unit, out);
  out->push_back('\t');
  AppendInt(record.Code, out);
  out->push_back('\t');
  AppendInt(record.Data1, out);
  out->push_back('\t');
  AppendInt(record.Data2, out);
  out->push_back('\t');
  // Each percentage is one multiplication, rounded once.
  AppendFixed6(100.0 * record.Proportion, out);
  out->push_back('\t');
  AppendFixed6(100.0 * record.EbPropMe, out);
  out->push_back('\t');
  if (record.EbPropMle == MissingValue) {
    out->append("***");
  } else {
    AppendFixed6(100.0 * record.EbPropMle, out);
  }
}

void AppendResultRow(const RegionRecord& record, std::string* out) {
  AppendResultFields(record, out);
  out->append("\r\n");
}

void WriteResultTable(const RecordTable& table, OutputFile* file) {
  constexpr std::size_t kFlushAt = std::size_t{1} << 16;
  std::string block = kResultHeader;
  block.reserve(kFlushAt + 512);
  for (const RegionRecord& record : table) {
    AppendResultRow(record, &block);
    if (block.size() >= kFlushAt) {
      file->Write(block);
      if (!file->ok()) return;
      block.clear();
    }
  }
  file->Write(block);
}

}  // namespace propsmooth
