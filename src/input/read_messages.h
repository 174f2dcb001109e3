// The strict program's words for a file that could not be read or
// written, and for data it refused; propsmooth-report speaks them too when
// it reads the four-number format.
#ifndef PROPSMOOTH_INPUT_READ_MESSAGES_H_
#define PROPSMOOTH_INPUT_READ_MESSAGES_H_

#include <string>
#include <string_view>

#include "common/exit_status.h"
#include "input/data_file.h"

namespace propsmooth {

/// "\n ERROR!! Can't <what> <name> file \n\n".
std::string FileErrorText(std::string_view what, const std::string& name);

/// How reading the data file `name` ended, in the program's words: kSuccess
/// and no text when every record was read; otherwise the status and the
/// message ("Wrong data found" for a bad record, "More than 2147483647
/// records" past the limit, "Can't open" for bytes that could not be
/// read).
ExitStatus DescribeDataRead(const ReadResult& read, const std::string& name,
                            std::string* message);

}  // namespace propsmooth

#endif  // PROPSMOOTH_INPUT_READ_MESSAGES_H_
