#include "report_app/report_run.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <new>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/job_files.h"
#include "common/platform.h"
#include "tabular/named_input.h"
#include "report_app/progress_line.h"
#include "html/page_file.h"
#include "stats/rate_estimates.h"
#include "stats/record_estimates.h"
#include "tabular/rate_tables.h"
#include "tabular/table_files.h"

namespace propsmooth {
namespace {

double SteadySeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

bool IsStandardStream(const std::string& name) { return name == kStandardStream; }

// Never write over the data, nor write one file twice. Standard input and
// output have no name to collide with.
bool RefuseCollidingNames(const ReportSettings& settings, std::FILE* errors) {
  std::vector<const std::string*> written;
  for (const std::string* name :
       {&settings.ReportFileName, &settings.TsvFileName, &settings.CsvFileName,
        &settings.SummaryFileName}) {
    if (!name->empty() && !IsStandardStream(*name)) written.push_back(name);
  }
  std::vector<NamePair> pairs;
  for (std::size_t i = 0; i < written.size(); ++i) {
    if (!IsStandardStream(settings.DataFileName)) {
      pairs.push_back({written[i], &settings.DataFileName});
    }
    for (std::size_t j = 0; j < i; ++j) pairs.push_back({written[i], written[j]});
  }
  return RefuseSameFiles(pairs, errors);
}

void PrintFileNames(const ReportSettings& settings, std::FILE* console) {
  Print(console, " DataFileName  : " + settings.DataFileName + "\n");
  if (!settings.ReportFileName.empty()) {
    Print(console, " ReportFileName: " + settings.ReportFileName + "\n");
  }
  if (!settings.TsvFileName.empty()) {
    Print(console, " TsvFileName   : " + settings.TsvFileName + "\n");
  }
  if (!settings.CsvFileName.empty()) {
    Print(console, " CsvFileName   : " + settings.CsvFileName + "\n");
  }
  if (!settings.SummaryFileName.empty()) {
    Print(console, " SummaryFile   : " + settings.SummaryFileName + "\n");
  }
}

std::optional<InputError> ReadData(const ReportSettings& settings,
                                   const StandardStreams& streams, InputTable* input) {
  if (IsStandardStream(settings.DataFileName)) {
    return ReadNamedStream(streams.In, "standard input", settings.Format, settings.Columns,
                           input);
  }
  return ReadNamedInput(settings.DataFileName, settings.Format, settings.Columns, input);
}

// The outputs of a run, made together once the data are estimated: the
// page, the interval table, the CSV table and the summary, in that order.
// An output with an empty name is not asked for; one named "-" streams to
// standard output (at most one does), the rest take their names together
// at the end, when every output is complete.
struct Outputs {
  static constexpr std::size_t kPage = 0;
  static constexpr std::size_t kTsv = 1;
  static constexpr std::size_t kCsv = 2;
  static constexpr std::size_t kSummary = 3;
  static constexpr const char* kWhat[] = {"page", "interval table", "CSV table", "summary"};

  explicit Outputs(const ReportSettings& settings)
      : Names{&settings.ReportFileName, &settings.TsvFileName, &settings.CsvFileName,
              &settings.SummaryFileName} {}

  bool Asked(std::size_t i) const { return !Names[i]->empty(); }
  bool ToStandardOutput(std::size_t i) const { return IsStandardStream(*Names[i]); }

  std::array<const std::string*, 4> Names;
  std::array<OutputFile, 4> Files;
};

bool CreateOutputs(const StandardStreams& streams, Outputs* outputs, std::FILE* errors) {
  for (std::size_t i = 0; i < outputs->Files.size(); ++i) {
    if (!outputs->Asked(i)) continue;
    if (outputs->ToStandardOutput(i)) {
      outputs->Files[i].Attach(streams.Out);
    } else if (!CreateOutputFile(*outputs->Names[i], &outputs->Files[i], errors)) {
      return false;
    }
  }
  return true;
}

// Closes every output, then gives the files their names, only when every
// output (standard output too) was written whole.
bool CloseOutputs(Outputs* outputs, std::FILE* errors) {
  std::vector<OutputFile*> files;
  for (std::size_t i = 0; i < outputs->Files.size(); ++i) {
    if (!outputs->Asked(i)) continue;
    if (outputs->ToStandardOutput(i)) {
      if (!outputs->Files[i].Close()) {
        Print(errors, std::string("\n ERROR!! Can't write the ") + Outputs::kWhat[i] +
                          " to standard output \n\n");
        return false;
      }
    } else if (!CloseOutputFile(*outputs->Names[i], &outputs->Files[i], errors)) {
      return false;
    } else {
      files.push_back(&outputs->Files[i]);
    }
  }
  return CommitOutputFiles(files, errors);
}

// The outputs of rates: the page, the CSV table and the summary (the
// options refuse the interval table); false when they could not be written.
bool WriteRates(const ReportSettings& settings, const StandardStreams& streams,
                const EstimatedData& data, const RateEstimates& estimates, ProgressLine* progress,
                std::FILE* errors) {
  Outputs outputs(settings);
  if (!CreateOutputs(streams, &outputs, errors)) return false;
  if (outputs.Asked(Outputs::kPage)) {
    WriteRatePage(settings,
                  IsStandardStream(settings.DataFileName) ? "standard input"
                                                          : settings.DataFileName,
                  settings.Columns, settings.MaxGroups, settings.Per, settings.Columns.Exposure,
                  data, estimates, &outputs.Files[Outputs::kPage]);
  }
  if (outputs.Asked(Outputs::kCsv)) {
    WriteRateCsvTable(data, estimates, settings.Per, settings.Threshold.has_value(),
                      settings.Columns.Exposure, &outputs.Files[Outputs::kCsv],
                      [progress](std::size_t done, std::size_t total) {
                        progress->Count(done, total, "rows written");
                      });
  }
  if (outputs.Asked(Outputs::kSummary)) {
    WriteRateSummaryTable(data, estimates, &outputs.Files[Outputs::kSummary]);
  }
  progress->Clear();
  return CloseOutputs(&outputs, errors);
}

// A run of rates from the data read: each group's moments and fit, every
// record's figures, the tables.
ExitStatus RunRates(const ReportSettings& settings, const StandardStreams& streams,
                    std::FILE* console, ProgressLine* progress, EstimatedData* data) {
  data->Plan = PlanGroups(data->Input.Records);
  std::vector<std::int32_t> counts;
  counts.reserve(data->Input.Records.size());
  for (const RegionRecord& record : data->Input.Records) counts.push_back(record.Data1);
  const unsigned workers = std::max(1u, std::thread::hardware_concurrency());
  // The profile bound is shown on the page and in the summary only.
  const RateEstimates estimates =
      EstimateRates(counts, data->Input.Expected, data->Plan, settings,
                    !settings.SummaryFileName.empty() || !settings.ReportFileName.empty(),
                    workers);
  progress->Clear();
  const bool ok = WriteRates(settings, streams, *data, estimates, progress, streams.Err);
  progress->Clear();
  if (!ok) return ExitStatus::kFileError;
  std::size_t clamped = 0;
  for (const RateMoments& moments : estimates.Moments) clamped += moments.VarianceClamped ? 1 : 0;
  std::string done = " Groups: " + std::to_string(data->Plan.Groups.size());
  if (!settings.ReportFileName.empty()) {
    done += ", drawn: " + std::to_string(std::min(settings.MaxGroups, data->Plan.Groups.size()));
  }
  if (clamped > 0) {
    done += ", moment variance below 0 and set to 0 (no extra-Poisson spread by moments) in " +
            std::to_string(clamped);
  }
  if (data->Input.SkippedRows > 0) {
    done += ", rows left out for want of a group: " + std::to_string(data->Input.SkippedRows);
  }
  if (console != nullptr) Print(console, done + "\n");
  return ExitStatus::kSuccess;
}

}  // namespace

ExitStatus RunReportJob(const ReportSettings& settings, const StandardStreams& streams,
                        std::FILE* console) {
  std::FILE* const errors = streams.Err;
  if (console != nullptr) PrintFileNames(settings, console);
  if (RefuseCollidingNames(settings, errors)) return ExitStatus::kFileError;

  ProgressLine progress(console != nullptr && IsTerminal(streams.Err) ? streams.Err : nullptr,
                        kReportProgram, SteadySeconds);
  EstimatedData data;
  if (const std::optional<InputError> refused = ReadData(settings, streams, &data.Input)) {
    Print(errors, refused->Message);
    return refused->Status;
  }
  if (settings.Model == CountModel::kPoisson) {
    return RunRates(settings, streams, console, &progress, &data);
  }
  data.Plan = PlanGroups(data.Input.Records);
  EstimateParts parts;
  parts.Fits = !settings.ReportFileName.empty() || !settings.CsvFileName.empty() ||
               !settings.SummaryFileName.empty();
  // The profile bound is shown on the page and in the summary only.
  parts.SizeBound = !settings.ReportFileName.empty() || !settings.SummaryFileName.empty();
  parts.Posteriors = !settings.CsvFileName.empty() ||
                     (settings.Threshold && !settings.ReportFileName.empty());
  const unsigned workers = std::max(1u, std::thread::hardware_concurrency());
  const RecordEstimates estimates = EstimateRecords(
      settings, parts, workers,
      [&progress](std::size_t done, std::size_t total, std::string_view what) {
        progress.Count(done, total, what);
      },
      &data.Input.Records, &data);
  const auto rows_written = [&progress](std::size_t done, std::size_t total) {
    progress.Count(done, total, "rows written");
  };

  // Messages about the files start on a line of their own.
  progress.Clear();
  Outputs outputs(settings);
  bool ok = CreateOutputs(streams, &outputs, errors);
  if (ok) {
    if (outputs.Asked(Outputs::kPage)) {
      WritePage(settings,
                IsStandardStream(settings.DataFileName) ? "standard input"
                                                        : settings.DataFileName,
                settings.Columns, settings.MaxGroups, data, &outputs.Files[Outputs::kPage]);
    }
    if (outputs.Asked(Outputs::kTsv)) {
      WriteIntervalTable(data, settings.Estimator, settings.Level, workers,
                         &outputs.Files[Outputs::kTsv],
                         [&progress](std::size_t done, std::size_t total) {
                           progress.Count(done, total, "intervals computed");
                         },
                         rows_written);
    }
    if (outputs.Asked(Outputs::kCsv)) {
      WriteCsvTable(data, estimates.Posteriors, settings.Threshold.has_value(), settings.Percent,
                    &outputs.Files[Outputs::kCsv], rows_written);
    }
    if (outputs.Asked(Outputs::kSummary)) {
      WriteSummaryTable(data, &outputs.Files[Outputs::kSummary]);
    }
    progress.Clear();
    ok = CloseOutputs(&outputs, errors);
  }
  progress.Clear();
  if (!ok) return ExitStatus::kFileError;

  std::string done = " Groups: " + std::to_string(data.Plan.Groups.size());
  if (!settings.ReportFileName.empty()) {
    done += ", drawn: " + std::to_string(std::min(settings.MaxGroups, data.Plan.Groups.size()));
  }
  if (data.Input.SkippedRows > 0) {
    done += ", rows left out for want of a group: " + std::to_string(data.Input.SkippedRows);
  }
  if (console != nullptr) Print(console, done + "\n");
  return ExitStatus::kSuccess;
}

}  // namespace propsmooth
