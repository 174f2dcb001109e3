// The report tool's way in: a data file in propsmooth's own format, or CSV
// or TSV with named columns, from a file or standard input.
#ifndef PROPSMOOTH_TABULAR_NAMED_INPUT_H_
#define PROPSMOOTH_TABULAR_NAMED_INPUT_H_

#include <cstdio>
#include <optional>
#include <string>

#include "tabular/input_format.h"
#include "tabular/input_table.h"

namespace propsmooth {

/// Reads the data at `path`, or standard input for "-" (named "standard
/// input" in messages), into `table`. The format is `format` when given,
/// else the one the name promises (FormatFromName), else the first line's
/// (FormatFromFirstLine). CSV and TSV are read as DelimitedParser says,
/// with `columns`. The legacy format is read by propsmooth's own reader,
/// with propsmooth's messages and statuses, and takes no `columns`. Data
/// that start with gzip's magic bytes are inflated as they are read (in a
/// build with zlib; without, refused), whatever their name; gzip data cut
/// short or damaged are refused with status 2.
///
/// Empty on success. Otherwise why the data were refused: status 1 for a
/// file that cannot be opened or read, a column option that does not fit
/// the format, or a count or size out of range; status 2 for anything that
/// is not such data. A file that cannot be opened gets propsmooth's message
/// when it was to be read in the legacy format, or when its format is
/// unknown and no column is named. The table is emptied first; after a
/// refusal it holds a part of the data, of no use but to free. Throws
/// std::bad_alloc when memory runs out.
std::optional<InputError> ReadNamedInput(const std::string& path, std::optional<InputFormat> format,
                                         const ColumnChoice& columns, InputTable* table);

/// The same over a stream open for reading in binary mode, from where it
/// stands; `name` stands for it in messages, and its extension counts as a
/// file name's. Neither opens nor closes the stream. Standard input is read
/// once: when its first line shows the legacy format and it cannot be
/// rewound (a pipe), the rest is read into memory for that reader.
std::optional<InputError> ReadNamedStream(std::FILE* stream, const std::string& name,
                                          std::optional<InputFormat> format,
                                          const ColumnChoice& columns, InputTable* table);

}  // namespace propsmooth

#endif  // PROPSMOOTH_TABULAR_NAMED_INPUT_H_
