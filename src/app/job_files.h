// The steps every command of the tool shares: console messages, refusing
// colliding names, loading the data file, making the output files.
#ifndef PROPSMOOTH_APP_JOB_FILES_H_
#define PROPSMOOTH_APP_JOB_FILES_H_

#include <cstdio>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "common/exit_status.h"
#include "common/types.h"
#include "input/data_file.h"
#include "input/read_messages.h"
#include "common/output_file.h"

namespace propsmooth {

/// Writes `text` to the console as it stands.
void Print(std::FILE* console, std::string_view text);

/// Prints FileErrorText(what, name).
void PrintFileError(std::FILE* console, std::string_view what, const std::string& name);

/// A pair of file names that must not name one file: (written, other).
using NamePair = std::pair<const std::string*, const std::string*>;

/// True, after printing "\n ERROR!! A and B name the same file \n\n", at
/// the first pair that is the same text or names one existing file (through
/// another path or a link). Writing a file that is read, or opening one
/// file twice for writing, would destroy data.
bool RefuseSameFiles(std::span<const NamePair> pairs, std::FILE* console);

/// Creates `file` to take the place of `name` once committed; false after
/// printing "Can't create" when it cannot.
bool CreateOutputFile(const std::string& name, OutputFile* file, std::FILE* console);

/// Closes `file`, not yet committed; false after printing "Can't write"
/// when this or any earlier write to it failed.
bool CloseOutputFile(const std::string& name, OutputFile* file, std::FILE* console);

/// Commits `files` (closed) together; false after printing "Can't create"
/// for the first whose name could not be replaced, none of the rest
/// committed.
bool CommitOutputFiles(std::span<OutputFile* const> files, std::FILE* console);

/// Prints "\n ERROR!! Not enough memory \n\n" and returns its status: a
/// data file too large for the machine ends with a message, not an abort.
ExitStatus ReportOutOfMemory(std::FILE* console);

/// Opens, reads and closes the data file `name` into `table`. On failure
/// prints the message ("Can't open" for a file that cannot be opened or
/// read, or is a folder; "Wrong data found" for a bad record) and returns
/// its status; kSuccess when every record was read.
ExitStatus LoadDataFile(const std::string& name, RecordTable* table, std::FILE* console);

}  // namespace propsmooth

#endif  // PROPSMOOTH_APP_JOB_FILES_H_
