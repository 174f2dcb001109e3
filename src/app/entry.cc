#include "app/entry.h"

#include <new>
#include <string>
#include <vector>

#include "app/job_files.h"
#include "estimate/simd_targets.h"

namespace propsmooth {

int RunCommand(std::string_view program, int argc, char** argv, const Command& command) {
  return RunCommand(program, argc, argv,
                    [&command](std::span<const std::string_view> args,
                               const StandardStreams& streams) {
                      return command(args, streams.Out);
                    });
}

int RunCommand(std::string_view program, int argc, char** argv, const StreamCommand& command) {
  const std::string name(program);
  // Before any thread starts and before anything is read or written.
  if (std::string error; !CapSimdTargetsFromEnvironment(&error)) {
    std::fprintf(stderr, "%s: %s\n", name.c_str(), error.c_str());
    return static_cast<int>(ExitStatus::kBadInput);
  }
  ExitStatus status = ExitStatus::kSuccess;
  try {
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    status = command(args, StandardStreams());
  } catch (const std::bad_alloc&) {
    // A file being written when it happened was removed on the way here.
    status = ReportOutOfMemory(stdout);
  }
  // A lost console line is a failure the caller must hear of, even when
  // every file was written; a status that already reports one stays.
  const bool output_failed = std::fflush(stdout) != 0 || std::ferror(stdout) != 0;
  const bool error_failed = std::fflush(stderr) != 0 || std::ferror(stderr) != 0;
  if ((output_failed || error_failed) && status == ExitStatus::kSuccess) {
    std::fprintf(stderr, "%s: standard %s could not be written\n", name.c_str(),
                 output_failed ? "output" : "error");
    status = ExitStatus::kConsoleUnwritable;
  }
  return static_cast<int>(status);
}

}  // namespace propsmooth
