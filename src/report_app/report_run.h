// One run of propsmooth-report: data, estimation, the HTML page and the
// tables.
#ifndef PROPSMOOTH_REPORT_APP_REPORT_RUN_H_
#define PROPSMOOTH_REPORT_APP_REPORT_RUN_H_

#include <cstdio>
#include <string_view>

#include "app/entry.h"
#include "common/exit_status.h"
#include "report_app/report_settings.h"

namespace propsmooth {

/// The program's name, as its console lines give it.
inline constexpr std::string_view kReportProgram = "propsmooth-report";

/// The run `settings` ask for: its file names and summary on `console`
/// (none when null: --quiet), its errors on `streams.Err`. Data named "-"
/// are read from `streams.In`; an output named "-" streams to
/// `streams.Out`; a progress line goes to `streams.Err` when it is a
/// terminal and there is a console. Refused data end the run with the
/// input's message and status before any file is made; the files take
/// their names only when every output was written whole, so a failure
/// leaves existing files as they were. Running out of memory throws
/// std::bad_alloc, no file made.
ExitStatus RunReportJob(const ReportSettings& settings, const StandardStreams& streams,
                        std::FILE* console);

}  // namespace propsmooth

#endif  // PROPSMOOTH_REPORT_APP_REPORT_RUN_H_
