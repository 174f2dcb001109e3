// How a run ends, as the process exit status.
#ifndef PROPSMOOTH_COMMON_EXIT_STATUS_H_
#define PROPSMOOTH_COMMON_EXIT_STATUS_H_

namespace propsmooth {

enum class ExitStatus : int {
  kSuccess = 0,        // normal end, also after the usage text
  kBadInput = 1,       // bad option, data file not readable, value out of range
  kMalformedData = 2,  // data text that cannot be read as records
  kFileError = 3,      // log or output file: name collision, create or write
  kOutOfMemory = 4,    // the data do not fit in memory
  kConsoleUnwritable = 5,  // the files are complete, the console text was lost
  kInternalError = 6,  // a fault of the program (an unexpected exception); no file half-written
};

}  // namespace propsmooth

#endif  // PROPSMOOTH_COMMON_EXIT_STATUS_H_
