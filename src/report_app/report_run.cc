#include "report_app/report_run.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <functional>
#include <new>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/job_files.h"
#include "common/platform.h"
#include "tabular/named_input.h"
#include "report_app/progress_line.h"
#include "report_app/region_run.h"
#include "report_app/spatial_run.h"
#include "html/page_file.h"
#include "stats/rate_estimates.h"
#include "stats/record_estimates.h"
#include "stats/record_intervals.h"
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
        &settings.SummaryFileName, &settings.GpkgFileName, &settings.GeoJsonFileName}) {
    if (!name->empty() && !IsStandardStream(*name)) written.push_back(name);
  }
  std::vector<NamePair> pairs;
  for (std::size_t i = 0; i < written.size(); ++i) {
    if (!IsStandardStream(settings.DataFileName)) {
      pairs.push_back({written[i], &settings.DataFileName});
    }
    if (!settings.RegionsFileName.empty()) {
      pairs.push_back({written[i], &settings.RegionsFileName});
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
  if (!settings.RegionsFileName.empty()) {
    Print(console, " RegionsFile   : " + settings.RegionsFileName + "\n");
  }
  if (!settings.GpkgFileName.empty()) {
    Print(console, " GpkgFile      : " + settings.GpkgFileName + "\n");
  }
  if (!settings.GeoJsonFileName.empty()) {
    Print(console, " GeoJsonFile   : " + settings.GeoJsonFileName + "\n");
  }
}

std::optional<InputError> ReadData(const ReportSettings& settings,
                                   const StandardStreams& streams, InputTable* input,
                                   RunRegions* regions) {
  if (IsGisDataName(settings.DataFileName)) {
    if (auto refused = ReadGisData(settings, input, regions)) return refused;
    // Regions of their own replace those of the data's file.
    if (settings.RegionsFileName.empty()) return std::nullopt;
  }
  if (!settings.RegionsFileName.empty()) {
    if (auto refused = ReadRegionsFile(settings, regions)) return refused;
    if (IsGisDataName(settings.DataFileName)) return std::nullopt;
  }
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
// output (standard output too) was written whole; the GIS files (`gis`,
// when not null, written already) first.
bool CloseOutputs(Outputs* outputs, std::FILE* errors, GisOutputs* gis = nullptr) {
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
  if (gis != nullptr && !gis->Commit(errors)) return false;
  return CommitOutputFiles(files, errors);
}

// The regions of a run and how its records meet them.
struct JoinedRegions {
  bool With = false;  // regions were asked for
  RunRegions Regions;
  std::vector<std::string> Ids;  // each record's id as the tables spell it
  RegionMatch Match;
};

// Matches the records to the regions read; false after printing why.
bool JoinRegions(const ReportSettings& settings, const EstimatedData& data,
                 JoinedRegions* joined, std::FILE* errors) {
  joined->With = WantsRegions(settings);
  if (!joined->With) return true;
  if (IsNamedInput(data.Input) && data.Input.Ids.empty()) {
    Print(errors, "the regions are joined to the records by their ids: name the data's id "
                  "column with --id\n");
    return false;
  }
  RecordLabels labels(data);
  joined->Ids.reserve(data.Input.Records.size());
  for (std::size_t i = 0; i < data.Input.Records.size(); ++i) {
    joined->Ids.emplace_back(labels.Id(i));
  }
  joined->Match = MatchRegions(joined->Regions.Shapes, joined->Ids);
  return true;
}

// The summary's columns about the regions; empty without regions.
SummaryColumns RegionColumns(const EstimatedData& data, const JoinedRegions& joined) {
  if (!joined.With) return SummaryColumns();
  return RegionSummaryColumns(data, joined.Regions.Shapes, joined.Ids, joined.Match);
}

// The CSV table again (`write_csv` writes it), into memory by way of a
// temporary file, for the GIS files to take their columns from; false after
// printing why.
bool WriteGisFiles(const std::function<void(OutputFile*)>& write_csv,
                   const JoinedRegions& joined, GisOutputs* gis, std::FILE* errors) {
  std::FILE* const scratch = std::tmpfile();
  if (scratch == nullptr) {
    Print(errors, "\n ERROR!! Can't create a temporary file for the GIS files \n\n");
    return false;
  }
  OutputFile csv;
  csv.Attach(scratch);
  write_csv(&csv);
  bool ok = csv.Close();
  std::string text;
  if (ok) {
    std::rewind(scratch);
    char block[1 << 16];
    std::size_t got = 0;
    while ((got = std::fread(block, 1, sizeof block, scratch)) > 0) text.append(block, got);
    ok = std::ferror(scratch) == 0;
  }
  std::fclose(scratch);
  if (!ok) {
    Print(errors, "\n ERROR!! Can't write a temporary file for the GIS files \n\n");
    return false;
  }
  return gis->Write(text, joined.Regions, joined.Match, errors);
}

// The outputs of rates: the page, the CSV table and the summary (the
// options refuse the interval table); false when they could not be written.
bool WriteRates(const ReportSettings& settings, const StandardStreams& streams,
                const EstimatedData& data, const RateEstimates& estimates,
                const JoinedRegions& joined, const SpatialRun* spatial, ProgressLine* progress,
                std::FILE* errors) {
  Outputs outputs(settings);
  GisOutputs gis(settings);
  if (!CreateOutputs(streams, &outputs, errors) || !gis.Create(errors)) return false;
  if (outputs.Asked(Outputs::kPage)) {
    WriteRatePage(settings,
                  IsStandardStream(settings.DataFileName) ? "standard input"
                                                          : settings.DataFileName,
                  settings.Columns, settings.MaxGroups, settings.Per, settings.Columns.Exposure,
                  data, estimates, &outputs.Files[Outputs::kPage],
                  joined.With ? &joined.Regions.Shapes : nullptr,
                  spatial != nullptr ? &spatial->Estimates : nullptr);
  }
  if (outputs.Asked(Outputs::kCsv)) {
    WriteRateCsvTable(data, estimates, settings.Per, settings.Threshold.has_value(),
                      settings.Columns.Exposure, &outputs.Files[Outputs::kCsv],
                      [progress](std::size_t done, std::size_t total) {
                        progress->Count(done, total, "rows written");
                      },
                      spatial != nullptr ? &spatial->Estimates : nullptr);
  }
  if (outputs.Asked(Outputs::kSummary)) {
    const SummaryColumns matched = RegionColumns(data, joined);
    WriteRateSummaryTable(data, estimates, settings.Per, &outputs.Files[Outputs::kSummary],
                          joined.With ? &matched : nullptr);
  }
  const auto write_csv = [&](OutputFile* csv) {
    WriteRateCsvTable(data, estimates, settings.Per, settings.Threshold.has_value(),
                      settings.Columns.Exposure, csv, [](std::size_t, std::size_t) {},
                      spatial != nullptr ? &spatial->Estimates : nullptr);
  };
  if (gis.Asked() && !WriteGisFiles(write_csv, joined, &gis, errors)) return false;
  progress->Clear();
  return CloseOutputs(&outputs, errors, &gis);
}

// A run of rates from the data read: each group's moments and fit, every
// record's figures, the tables.
ExitStatus RunRates(const ReportSettings& settings, const StandardStreams& streams,
                    std::FILE* console, ProgressLine* progress, const JoinedRegions& joined,
                    EstimatedData* data) {
  data->Plan = PlanGroups(data->Input.Records);
  std::vector<std::int32_t> counts;
  counts.reserve(data->Input.Records.size());
  for (const RegionRecord& record : data->Input.Records) counts.push_back(record.Data1);
  const unsigned workers = std::max(1u, std::thread::hardware_concurrency());
  // The profile bound, log-likelihood and standard errors are shown on the
  // page and in the summary only.
  const RateEstimates estimates =
      EstimateRates(counts, data->Input.Expected, data->Plan, settings,
                    !settings.SummaryFileName.empty() || !settings.ReportFileName.empty(),
                    workers);
  progress->Clear();
  std::optional<SpatialRun> spatial;
  if (!settings.Neighbours.empty()) {
    std::string error;
    const RegionShapes* const regions = joined.With ? &joined.Regions.Shapes : nullptr;
    if (!RunSpatial(settings, *data, regions, workers, &spatial.emplace(), &error)) {
      Print(streams.Err, "\n ERROR!! " + error + "\n\n");
      return ExitStatus::kBadInput;
    }
  }
  const bool ok = WriteRates(settings, streams, *data, estimates, joined,
                             spatial ? &*spatial : nullptr, progress, streams.Err);
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
  // Person-time has no reference rate as expected counts have 1: a table
  // without the threshold's columns says how to get them.
  if (settings.Columns.Exposure && !settings.Threshold && !settings.CsvFileName.empty()) {
    done += "\n No --threshold: with --exposure there is no default. Give the rate to exceed "
            "in the units of --per (--per 100000 --threshold 50: 50 per 100,000) for p_exceed, "
            "pep, q_value and discovery";
  }
  if (console != nullptr) {
    Print(console, done + "\n");
    if (spatial) Print(console, SpatialConsoleLines(settings, *spatial));
    if (joined.With) {
      Print(console, RegionConsoleLines(joined.Regions.Shapes, joined.Ids, joined.Match));
    }
  }
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
  JoinedRegions joined;
  if (const std::optional<InputError> refused =
          ReadData(settings, streams, &data.Input, &joined.Regions)) {
    Print(errors, refused->Message);
    return refused->Status;
  }
  // Each record meets the region of its id, as the tables spell the id.
  if (!JoinRegions(settings, data, &joined, errors)) return ExitStatus::kBadInput;
  const RegionShapes* const regions = joined.With ? &joined.Regions.Shapes : nullptr;
  if (settings.Model == CountModel::kPoisson) {
    return RunRates(settings, streams, console, &progress, joined, &data);
  }
  data.Plan = PlanGroups(data.Input.Records);
  GisOutputs gis(settings);
  EstimateParts parts;
  parts.Fits = !settings.ReportFileName.empty() || !settings.CsvFileName.empty() ||
               !settings.SummaryFileName.empty() || gis.Asked();
  // The profile bound, log-likelihood and standard errors are shown on the
  // page and in the summary only.
  parts.SizeBound = !settings.ReportFileName.empty() || !settings.SummaryFileName.empty();
  parts.FitFigures = parts.SizeBound;
  // The page's index and sections stop at --max-groups; the summary lists
  // every group.
  if (settings.SummaryFileName.empty()) parts.FigureGroups = settings.MaxGroups;
  const unsigned workers = std::max(1u, std::thread::hardware_concurrency());
  // A CSV table may find each row's interval as the row is written; not
  // with a threshold, whose q-values need every pair's tails first, nor
  // with the GIS outputs, which write the table again.
  const bool intervals_while_writing =
      !settings.CsvFileName.empty() && !gis.Asked() && !settings.Threshold &&
      FindIntervalsWhileWriting(data.Input.Records, data.Plan, workers);
  parts.Posteriors = (!settings.CsvFileName.empty() && !intervals_while_writing) || gis.Asked() ||
                     (settings.Threshold && !settings.ReportFileName.empty());
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
  std::optional<SpatialRun> spatial;
  if (!settings.Neighbours.empty()) {
    std::string error;
    if (!RunSpatial(settings, data, regions, workers, &spatial.emplace(), &error)) {
      Print(errors, "\n ERROR!! " + error + "\n\n");
      return ExitStatus::kBadInput;
    }
  }
  Outputs outputs(settings);
  bool ok = CreateOutputs(streams, &outputs, errors) && gis.Create(errors);
  if (ok) {
    if (outputs.Asked(Outputs::kPage)) {
      WritePage(settings,
                IsStandardStream(settings.DataFileName) ? "standard input"
                                                        : settings.DataFileName,
                settings.Columns, settings.MaxGroups, data, &outputs.Files[Outputs::kPage],
                regions, spatial ? &spatial->Estimates : nullptr);
    }
    if (outputs.Asked(Outputs::kTsv)) {
      WriteIntervalTable(data, settings.Estimator, settings.Level, workers,
                         &outputs.Files[Outputs::kTsv],
                         [&progress](std::size_t done, std::size_t total) {
                           progress.Count(done, total, "intervals computed");
                         },
                         rows_written);
    }
    if (outputs.Asked(Outputs::kCsv) && intervals_while_writing) {
      WriteCsvTableFindingIntervals(
          data, PosteriorsUnderFits(data.Fits, settings.Level, std::nullopt, workers),
          GroupOfEachRecord(data.Input.Records, data.Plan, workers), settings.Percent,
          &outputs.Files[Outputs::kCsv], rows_written, spatial ? &spatial->Estimates : nullptr,
          workers);
    } else if (outputs.Asked(Outputs::kCsv)) {
      WriteCsvTable(data, estimates.Posteriors, settings.Threshold.has_value(), settings.Percent,
                    &outputs.Files[Outputs::kCsv], rows_written,
                    spatial ? &spatial->Estimates : nullptr, workers);
    }
    if (outputs.Asked(Outputs::kSummary)) {
      const SummaryColumns matched = RegionColumns(data, joined);
      WriteSummaryTable(data, &outputs.Files[Outputs::kSummary],
                        joined.With ? &matched : nullptr);
    }
    if (gis.Asked()) {
      ok = WriteGisFiles(
          [&](OutputFile* csv) {
            WriteCsvTable(data, estimates.Posteriors, settings.Threshold.has_value(),
                          settings.Percent, csv, [](std::size_t, std::size_t) {},
                          spatial ? &spatial->Estimates : nullptr, workers);
          },
          joined, &gis, errors);
    }
    progress.Clear();
    ok = ok && CloseOutputs(&outputs, errors, &gis);
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
  if (console != nullptr) {
    Print(console, done + "\n");
    if (spatial) Print(console, SpatialConsoleLines(settings, *spatial));
    if (joined.With) {
      Print(console, RegionConsoleLines(joined.Regions.Shapes, joined.Ids, joined.Match));
    }
  }
  return ExitStatus::kSuccess;
}

}  // namespace propsmooth
