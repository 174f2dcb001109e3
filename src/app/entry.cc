#include "app/entry.h"

#include <exception>
#include <new>
#include <string>
#include <vector>

#include "app/job_files.h"
#include "common/platform.h"
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
  // A reader that goes away (`| head`) must not end the run unheard: the
  // failed write is seen and reported with its status, and no output file
  // is left to the signal's abrupt end.
  IgnoreBrokenPipe();
  // Before any thread starts and before anything is read or written.
  if (std::string error; !CapSimdTargetsFromEnvironment(&error)) {
    std::fprintf(stderr, "%s: %s\n", name.c_str(), error.c_str());
    return static_cast<int>(ExitStatus::kBadInput);
  }
  const std::vector<std::string_view> args(argv + 1, argv + argc);
  return RunCommandOn(program, args, command, StandardStreams());
}

int RunCommandOn(std::string_view program, std::span<const std::string_view> args,
                 const StreamCommand& command, const StandardStreams& streams) {
  const std::string name(program);
  // Caught here rather than left to std::terminate: only a caught exception
  // is sure to unwind, and the unwinding removes a file being written.
  const auto internal_error = [&](const char* what) {
    std::fprintf(streams.Err,
                 "%s: internal error: %s; any file being written was removed; please report "
                 "this with the command and data that led to it\n",
                 name.c_str(), what);
    return ExitStatus::kInternalError;
  };
  ExitStatus status = ExitStatus::kSuccess;
  try {
    status = command(args, streams);
  } catch (const std::bad_alloc&) {
    // A file being written when it happened was removed on the way here.
    status = ReportOutOfMemory(streams.Out);
  } catch (const std::exception& error) {
    status = internal_error(error.what());
  } catch (...) {
    status = internal_error("an exception of unknown type");
  }
  // A lost console line is a failure the caller must hear of, even when
  // every file was written; a status that already reports one stays.
  const bool output_failed = std::fflush(streams.Out) != 0 || std::ferror(streams.Out) != 0;
  const bool error_failed = std::fflush(streams.Err) != 0 || std::ferror(streams.Err) != 0;
  if ((output_failed || error_failed) && status == ExitStatus::kSuccess) {
    std::fprintf(streams.Err, "%s: standard %s could not be written\n", name.c_str(),
                 output_failed ? "output" : "error");
    status = ExitStatus::kConsoleUnwritable;
  }
  return static_cast<int>(status);
}

}  // namespace propsmooth
