// The test seam of the data file reader: the same reading over text in
// memory, so that tests and fuzz targets need no stream. Included by the
// reader itself and by tests only, never by the rest of the program.
#ifndef PROPSMOOTH_INPUT_DATA_FILE_INTERNAL_H_
#define PROPSMOOTH_INPUT_DATA_FILE_INTERNAL_H_

#include <string_view>

#include "common/types.h"
#include "input/data_file.h"

namespace propsmooth {

/// ReadDataFile over `text` instead of a stream.
ReadResult ReadDataText(std::string_view text, RecordTable* table);

}  // namespace propsmooth

#endif  // PROPSMOOTH_INPUT_DATA_FILE_INTERNAL_H_
