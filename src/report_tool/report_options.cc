#include "report_tool/report_options.h"

#include <charconv>
#include <cmath>
#include <optional>
#include <sstream>
#include <system_error>
#include <utility>
#include <vector>

#include <CLI/CLI.hpp>

#include "app/options.h"
#include "report_app/region_run.h"
#include "report_app/spatial_run.h"
#include "report_app/version.h"

namespace propsmooth {
namespace {

constexpr const char* kFitHelp =
    "Fit options, propsmooth's (letter in either case, value directly behind it or as\n"
    "the next argument; the value must be a number as a whole, a whole one for -L):\n"
    "  -A ffff  Initial value for Alpha (default: the moment estimator)\n"
    "  -B ffff  Initial value for Beta (default: the moment estimator)\n"
    "  -E ffff  Error tolerance of the Newton-Raphson fit (default 0.00001)\n"
    "  -L nn    Iteration limit of the Newton-Raphson fit (default 20)\n"
    "A DataFileName of - is read from standard input. One output (the page, --tsv,\n"
    "--csv or --summary) may be - for standard output; the console lines then go to\n"
    "standard error, where errors always go. The files take their names only once\n"
    "every output is complete: after a failure, files of those names are unchanged.\n"
    "Examples:\n"
    "  propsmooth-report rats.txt rats.html --level 0.9 --tsv rats.tsv -L50\n"
    "  propsmooth-report deaths.csv --count deaths --size births --group state \\\n"
    "      --id county --keep year,sex --csv smoothed.csv\n"
    "  propsmooth-report deaths.csv.gz --delimiter ';' --count x --size n --csv out.csv\n"
    "  propsmooth-report - --format csv --count x --size n --csv - < in.csv > out.csv\n";

constexpr const char* kMoreHelp = "Run with --help for more information.\n";

// The fit option an argument spells, by its upper-case letter; 0 for none.
char FitLetter(std::string_view arg) {
  if (arg.size() < 2 || arg[0] != '-') return '\0';
  switch (arg[1]) {
    case 'A': case 'a': return 'A';
    case 'B': case 'b': return 'B';
    case 'E': case 'e': return 'E';
    case 'L': case 'l': return 'L';
    default: return '\0';
  }
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Digits from `*at` on; false when there is none.
bool SkipDigits(std::string_view text, std::size_t* at) {
  const std::size_t first = *at;
  while (*at < text.size() && IsDigit(text[*at])) ++*at;
  return *at > first;
}

// A number as a whole in plain decimal form: "-1", "0.005", "+2.5e-3"; with
// `whole_only`, digits alone after the sign. propsmooth's own reader would
// stop at the first character that does not fit and take what came before
// (nothing: 0), so that a slip ("-L abc", "-E 1,5") would run with a
// value nobody asked for.
bool IsPlainNumber(std::string_view text, bool whole_only) {
  std::size_t at = 0;
  if (at < text.size() && (text[at] == '+' || text[at] == '-')) ++at;
  bool digits = SkipDigits(text, &at);
  if (whole_only) return digits && at == text.size();
  if (at < text.size() && text[at] == '.') {
    ++at;
    digits = SkipDigits(text, &at) || digits;
  }
  if (!digits) return false;
  if (at < text.size() && (text[at] == 'e' || text[at] == 'E')) {
    ++at;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) ++at;
    if (!SkipDigits(text, &at)) return false;
  }
  return at == text.size();
}

// One fit option as written: its letter and its value, glued behind the
// letter ("-L10") or the next argument ("-L 10").
struct FitArgument {
  char Letter = '\0';
  std::string Shown;  // as on the command line: "-L10" or "-L 10"
  std::string Value;  // "10"; empty when there is none
};

// The value as a whole is a number of the option's kind: a whole number
// for -L, else a plain decimal number or an infinity that propsmooth
// spells ("+INF", "-INF"), which its reader then judges. NaN in any
// spelling is no number.
bool IsWholeValue(const FitArgument& arg) {
  if (arg.Letter == 'L') return IsPlainNumber(arg.Value, true);
  return IsPlainNumber(arg.Value, false) || arg.Value == "+INF" || arg.Value == "-INF";
}

// What the fit option may hold, for its error.
std::string FitOptionError(const FitArgument& arg) {
  std::string why;
  switch (arg.Letter) {
    case 'L':
      why = "the iteration limit must be a whole number from -2147483648 to 2147483647";
      break;
    case 'E':
      why = "the tolerance must be a number, not NAN";
      break;
    default:
      why = std::string("the initial value of ") + (arg.Letter == 'A' ? "Alpha" : "Beta") +
            " must be a number, not NAN or +INF";
      break;
  }
  return arg.Shown + ": " + why + "\n" + kMoreHelp;
}

// The whole text must be the number: CLI11 then converts it the same way.
template <typename Number>
bool ReadWhole(const std::string& text, Number* value) {
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, *value);
  return error == std::errc() && stop == end;
}

// A check that `what` lies strictly between 0 and 1.
CLI::Validator OpenUnitIntervalCheck(const std::string& what) {
  return CLI::Validator(
      [what](const std::string& text) {
        double value = 0.0;
        if (!ReadWhole(text, &value) || !(value > 0.0 && value < 1.0)) {
          return "the " + what + " must lie strictly between 0 and 1, not " + text;
        }
        return std::string();
      },
      "FLOAT in (0,1)");
}

// from_chars takes no sign for an unsigned count, so "-1" is refused.
std::string CountCheck(const std::string& text) {
  std::size_t value = 0;
  if (!ReadWhole(text, &value)) {
    return "the count must be a whole number, 0 or more, not " + text;
  }
  return std::string();
}

std::string ColumnNameCheck(const std::string& text) {
  if (text.empty()) {
    return "name a column of the header, not an empty text (a column whose name is empty, "
           "as R's write.csv leaves its row names', is \"field N\" after its place)";
  }
  return std::string();
}

std::string DelimiterCheck(const std::string& text) {
  if (text == "," || text == ";" || text == "|" || text == "tab" || text == "\t") {
    return std::string();
  }
  return "the delimiter must be , ; | or tab, not " + text;
}

// A check that `what` is a finite number above 0.
CLI::Validator PositiveCheck(const std::string& what, const std::string& allowed) {
  return CLI::Validator(
      [what, allowed](const std::string& text) {
        double value = 0.0;
        if (!ReadWhole(text, &value) || !std::isfinite(value) || !(value > 0.0)) {
          return "the " + what + " must be " + allowed + ", not " + text;
        }
        return std::string();
      },
      "FLOAT > 0");
}

// Whether the arguments ask for --model poisson, known before they are
// parsed so that --threshold is checked as a rate rather than a
// proportion.
bool AsksForRates(const std::vector<std::string>& args) {
  bool rates = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--") break;
    if (args[i] == "--model" && i + 1 < args.size()) rates = args[i + 1] == "poisson";
    if (args[i] == "--model=poisson") rates = true;
    if (args[i] == "--model=binomial") rates = false;
  }
  return rates;
}

// Sets the model, the expected column, --per and the threshold of rates;
// the refusal's text when the options do not fit the model.
std::optional<std::string> SettleModel(const CLI::App& app, const std::string& model,
                                       const std::string& expected, const std::string& exposure,
                                       double per, bool threshold_given, double threshold,
                                       ReportSettings* settings) {
  if (model != "poisson") {
    for (const char* option : {"--expected", "--exposure", "--per"}) {
      if (app.count(option) > 0) {
        return std::string(option) + " is for rates: give --model poisson with it, or name "
                                     "the sizes with --size for proportions";
      }
    }
    return std::nullopt;
  }
  if (expected.empty() && exposure.empty()) {
    return std::string("--model poisson needs each record's expected count: name its column "
                       "with --expected, or that of the person-time with --exposure");
  }
  if (app.count("--size") > 0) {
    return std::string("--size is for proportions: with --model poisson the counts are "
                       "measured against --expected or --exposure");
  }
  if (!settings->TsvFileName.empty()) {
    return std::string("--tsv is propsmooth's interval table of proportions: with --model "
                       "poisson ask for --csv");
  }
  if (settings->Percent) {
    return std::string("--percent is for proportions: with --model poisson give --per 100");
  }
  settings->Model = CountModel::kPoisson;
  settings->Columns.Expected = expected.empty() ? exposure : expected;
  settings->Columns.Exposure = expected.empty();
  settings->Per = per;
  // Expected counts make a rate of 1 the reference: the default threshold.
  if (threshold_given) {
    settings->Threshold = threshold / per;
  } else if (!expected.empty()) {
    settings->Threshold = 1.0;
  }
  return std::nullopt;
}

// "A", "A and B", "A, B and C".
std::string ListOf(const std::vector<std::string>& names) {
  std::string list;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i > 0) list += i + 1 == names.size() ? " and " : ", ";
    list += names[i];
  }
  return list;
}

// Checks the options of GIS files against each other and the data; the
// refusal's text when they do not fit.
std::optional<std::string> CheckRegionOptions(const CLI::App& app,
                                              const ReportSettings& settings) {
  const bool gis_data = IsGisDataName(settings.DataFileName);
  const bool regions = gis_data || !settings.RegionsFileName.empty();
  std::vector<std::string> given;
  for (const char* option : {"--regions", "--regions-id", "--regions-name", "--regions-layer",
                             "--gpkg", "--geojson"}) {
    if (app.count(option) > 0) given.emplace_back(option);
  }
  if ((!given.empty() || gis_data) && !HaveGisFiles()) {
    return (given.empty() ? settings.DataFileName : ListOf(given)) +
           ": GIS files need GDAL, and this propsmooth-report was built without it (install "
           "libgdal-dev and build it again)";
  }
  if (!settings.RegionsFileName.empty() && settings.RegionsId.empty()) {
    return std::string("--regions needs --regions-id FIELD: the field of the regions' file "
                       "that holds the data's --id");
  }
  if (settings.RegionsFileName.empty() && app.count("--regions-id") > 0) {
    return std::string("--regions-id names a field of the --regions file: give --regions FILE "
                       "too") + (gis_data ? " (for the data's own regions, --id names it)" : "");
  }
  if (gis_data && settings.Columns.Id.empty()) {
    return settings.DataFileName + " is a GIS file: name the field that identifies each "
                                   "region with --id";
  }
  if (!regions) {
    for (const char* option : {"--regions-name", "--regions-layer", "--gpkg", "--geojson"}) {
      if (app.count(option) > 0) {
        return std::string(option) + " is about regions: give --regions FILE --regions-id "
                                     "FIELD, or data in a GIS file";
      }
    }
  }
  for (const std::string* name : {&settings.GpkgFileName, &settings.GeoJsonFileName}) {
    if (*name == kStandardStream) {
      return std::string("GIS files are written to a file of their own, not to standard "
                         "output: name one for --gpkg or --geojson");
    }
  }
  return std::nullopt;
}

// Takes the fit options out of `args` into `fit`, the rest into `rest`. A
// letter alone always takes the next argument as its value, so that a
// value that is no number is refused rather than left behind as a file
// name.
void SplitFitOptions(std::span<const std::string_view> args, std::vector<FitArgument>* fit,
                     std::vector<std::string>* rest) {
  bool positional_only = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string_view arg = args[i];
    if (arg == "--") positional_only = true;
    const char letter = positional_only ? '\0' : FitLetter(arg);
    if (letter == '\0') {
      rest->emplace_back(arg);
      continue;
    }
    FitArgument option{letter, std::string(arg), std::string(arg.substr(2))};
    if (arg.size() == 2 && i + 1 < args.size()) {
      option.Value = args[++i];
      option.Shown.append(" ").append(option.Value);
    }
    fit->push_back(std::move(option));
  }
}

}  // namespace

CommandLineOutcome ReadReportCommandLine(std::span<const std::string_view> args,
                                         ReportSettings* settings, std::string* text) {
  // CLI11 has no notion of a value glued to a one-letter option with a
  // number like "-A12.3", and reads "-E" as a flag cluster; so these are
  // taken out first and read by propsmooth's own option reader.
  std::vector<FitArgument> fit_args;
  std::vector<std::string> rest;
  SplitFitOptions(args, &fit_args, &rest);

  // First, so that a value taken from the arguments that follow is
  // named as the fault, not the file names or options it leaves out; one
  // at a time, so that a refusal names its option; the last one wins as
  // when propsmooth reads them together.
  for (const FitArgument& arg : fit_args) {
    const std::string glued = std::string("-") + arg.Letter + arg.Value;
    const std::string_view option = glued;
    if (!IsWholeValue(arg) || !ParseOptions(std::span(&option, 1), &settings->Fit)) {
      *text = FitOptionError(arg);
      return CommandLineOutcome::kOptionError;
    }
  }

  std::string estimator = "mle";
  std::string format;
  CLI::App app("Empirical Bayes proportions under the binomial-beta model (an HTML report "
               "with the figures of propsmooth's log per group, plots and credible "
               "intervals; tables), or with --model poisson empirical Bayes rates under the "
               "Poisson-gamma model (the same report and tables).",
               "propsmooth-report");
  app.add_option("DataFileName", settings->DataFileName,
                 "Data file (- for standard input): Unit Code Data1 Data2 per record as "
                 "for propsmooth, or CSV or TSV with a header line (see --count)")
      ->required();
  app.add_option("ReportFileName", settings->ReportFileName,
                 "HTML file to write (self-contained: inline SVG, no script); may be left "
                 "out when --csv or --tsv asks for a table");
  app.add_option("--format", format,
                 "Format of the data: legacy (four numbers a record), csv or tsv (default: "
                 "from the name's extension, else from the first line)")
      ->check(CLI::IsMember({"legacy", "csv", "tsv"}));
  const auto column = [&app](const char* name, std::string* value, const char* help) {
    app.add_option(name, *value, help)->check(CLI::Validator(ColumnNameCheck, "COLUMN"));
  };
  column("--count", &settings->Columns.Count, "CSV/TSV: the column of the counts (x)");
  column("--size", &settings->Columns.Size, "CSV/TSV: the column of the sizes (n)");
  column("--group", &settings->Columns.Group,
         "CSV/TSV: estimate one prior per value of this column (default: one group)");
  column("--id", &settings->Columns.Id,
         "CSV/TSV: a label per record, kept as text, shown in the page and the tables");
  // Reading the data: the delimiter, columns carried over, missing groups.
  std::string delimiter;
  std::string missing_group = "refuse";
  app.add_option("--delimiter", delimiter,
                 "CSV: the byte between values: , ; | or tab (default: a comma, or a "
                 "semicolon when the header line has one and no comma)")
      ->check(CLI::Validator(DelimiterCheck, "{, ; | tab}"));
  app.add_option("--keep", settings->Columns.Keep,
                 "CSV/TSV: columns (comma-separated, or the option repeated) copied as text "
                 "into the --csv table, after its other columns")
      ->delimiter(',')
      ->check(CLI::Validator(ColumnNameCheck, "COLUMN"));
  app.add_flag("--keep-all", settings->Columns.KeepAll,
               "CSV/TSV: keep every column not read as --count, --size, --group or --id")
      ->excludes("--keep");
  app.add_option("--missing-group", missing_group,
                 "CSV/TSV: a row whose group is empty or NA is refused, skipped (left out "
                 "of every output) or put in a group of its own (own-group)")
      ->capture_default_str()
      ->check(CLI::IsMember({"refuse", "skip", "own-group"}));
  app.add_option("--csv", settings->CsvFileName,
                 "Write every record's estimates and interval as CSV to this file (- for "
                 "standard output), in the order of the data");
  app.add_flag("--percent", settings->Percent,
               "Proportions of the --csv table in percent rather than as fractions");
  app.add_option("--tsv", settings->TsvFileName,
                 "Also write every region's interval to this tab-separated file");
  app.add_option("--level", settings->Level,
                 "Level of the equal-tailed credible intervals, strictly between 0 and 1")
      ->capture_default_str()
      ->check(OpenUnitIntervalCheck("level"));
  app.add_option("--estimator", estimator,
                 "Prior: mle (each group's fit; for --tsv propsmooth's MLE, the moment "
                 "estimators where it fails) or me (the moment estimators)")
      ->capture_default_str()
      ->check(CLI::IsMember({"mle", "me"}));
  app.add_option("--summary", settings->SummaryFileName,
                 "Write one CSV row per group to this file (- for standard output): the "
                 "moment estimators, the fit that does not give up, its standard errors and "
                 "log-likelihood");
  double threshold = 0.0;
  const bool rates = AsksForRates(rest);
  app.add_option("--threshold", threshold,
                 "Add each region's probability that its rate exceeds this proportion "
                 "(with --model poisson: this rate, as --per shows rates; default 1 with "
                 "--expected, none with --exposure), its PEP, q-value and discovery to the "
                 "--csv table and the page")
      ->check((rates ? PositiveCheck("threshold", "a rate above 0")
                     : OpenUnitIntervalCheck("threshold"))
                  .description("FLOAT in (0,1), or > 0 with --model poisson"));
  app.add_option("--fdr", settings->Fdr,
                 "The q-value at most which a region is a discovery (with --threshold)")
      ->capture_default_str()
      ->check(OpenUnitIntervalCheck("false discovery rate"));
  app.add_option("--max-groups", settings->MaxGroups,
                 "List, plot and tabulate at most this many groups (the first in "
                 "order); the page counts the rest, --summary lists them all")
      ->capture_default_str()
      ->check(CLI::Validator(CountCheck, "0 or more"));
  // Rates: counts against expected counts or person-time.
  std::string model = "binomial";
  std::string expected;
  std::string exposure;
  double per = 1.0;
  app.add_option("--model", model,
                 "binomial (counts of their sizes, a beta prior of proportions) or poisson "
                 "(counts against --expected counts or --exposure, a gamma prior of rates)")
      ->capture_default_str()
      ->check(CLI::IsMember({"binomial", "poisson"}));
  app.add_option("--expected", expected,
                 "With --model poisson: the column of each record's expected count (> 0); "
                 "rates are then relative risks, observed over expected")
      ->check(CLI::Validator(ColumnNameCheck, "COLUMN"));
  app.add_option("--exposure", exposure,
                 "With --model poisson: the column of each record's person-time (> 0); rates "
                 "are then events per unit of it (see --per)")
      ->check(CLI::Validator(ColumnNameCheck, "COLUMN"))
      ->excludes("--expected");
  app.add_option("--per", per,
                 "With --model poisson: show rates times this in the --csv table and the "
                 "--summary, e.g. 100000 for rates per 100,000 (--threshold is read in the "
                 "same units)")
      ->check(PositiveCheck("--per factor", "a number above 0"));
  app.add_option("--neighbours", settings->Neighbours,
                 "Add spatial EB columns to --csv, each region shrunk towards its "
                 "neighbourhood (itself and its neighbours, joined by --id): queen or rook "
                 "(from the regions' polygons, which need GDAL), knn:K (the K nearest "
                 "centroids; see --centroids), or a GeoDa .gal or .gwt file")
      ->check(CLI::Validator(
          [](const std::string& choice) { return NeighbourOptionError(choice).value_or(""); },
          "queen|rook|knn:K|FILE.gal|FILE.gwt"));
  app.add_option("--centroids", settings->CentroidsFileName,
                 "For --neighbours knn:K: a file of \"id,x,y\" (planar) or \"id,lon,lat\" "
                 "(degrees: great-circle distances) lines after that header")
      ->needs("--neighbours");
  // GIS files, through GDAL.
  const std::string gis_note = HaveGisFiles() ? "" : " (needs GDAL: not in this build)";
  app.add_option("--regions", settings->RegionsFileName,
                 "GIS file of the regions' polygons (GeoPackage, GeoJSON, Shapefile, any "
                 "vector format GDAL reads), joined to the records by --regions-id" + gis_note);
  app.add_option("--regions-id", settings->RegionsId,
                 "The field of --regions that holds the data's --id (a real 37009.0 matches "
                 "37009, text matches as text)")
      ->check(CLI::Validator(ColumnNameCheck, "FIELD"));
  app.add_option("--regions-name", settings->RegionsName,
                 "The field that names each region on a map (default: its id)")
      ->check(CLI::Validator(ColumnNameCheck, "FIELD"));
  app.add_option("--regions-layer", settings->RegionsLayer,
                 "The layer of the regions' file to read (default: its first)");
  app.add_option("--gpkg", settings->GpkgFileName,
                 "Write the regions as a GeoPackage with every --csv column as fields, one "
                 "feature per record; regions without a record have their id alone" +
                     gis_note);
  app.add_option("--geojson", settings->GeoJsonFileName,
                 "The same as GeoJSON (RFC 7946: longitude and latitude)" + gis_note);
  app.add_flag("-q,--quiet", settings->Quiet,
               "No console lines (file names, summary, progress); errors are still shown");
  app.set_version_flag("--version", std::string("propsmooth-report ") + kReportToolVersion);
  app.footer(std::string(kFitHelp) +
             "Data in a GIS file (.gpkg, .shp, .geojson, ...) are read from its attribute "
             "table,\nwith its regions: propsmooth-report nc.gpkg --count SID74 --size BIR74 "
             "--id FIPSNO\n" +
             (HaveGisFiles() ? ""
                             : "This build has no GDAL: regions, maps, --gpkg and --geojson "
                               "need it (libgdal-dev).\n"));

  std::ostringstream out;
  try {
    // CLI11 takes the arguments last first.
    std::vector<std::string> reversed(rest.rbegin(), rest.rend());
    app.parse(reversed);
  } catch (const CLI::CallForVersion&) {
    *text = std::string("propsmooth-report ") + kReportToolVersion + "\n";
    return CommandLineOutcome::kVersion;
  } catch (const CLI::ParseError& error) {
    const int code = app.exit(error, out, out);
    *text = out.str();
    return code == 0 ? CommandLineOutcome::kShown : CommandLineOutcome::kUsageError;
  }
  if (settings->ReportFileName.empty() && settings->CsvFileName.empty() &&
      settings->TsvFileName.empty() && settings->SummaryFileName.empty() &&
      settings->GpkgFileName.empty() && settings->GeoJsonFileName.empty()) {
    *text = std::string("ReportFileName is required: name the HTML file to write, or ask for a "
                        "table with --csv FILE, --tsv FILE or --summary FILE\n") +
            kMoreHelp;
    return CommandLineOutcome::kUsageError;
  }
  std::vector<std::string> to_standard_output;
  const std::pair<const std::string*, const char*> outputs[] = {
      {&settings->ReportFileName, "ReportFileName"},
      {&settings->TsvFileName, "--tsv"},
      {&settings->CsvFileName, "--csv"},
      {&settings->SummaryFileName, "--summary"}};
  for (const auto& [name, option] : outputs) {
    if (*name == kStandardStream) to_standard_output.emplace_back(option);
  }
  if (to_standard_output.size() > 1) {
    *text = ListOf(to_standard_output) +
            (to_standard_output.size() == 2 ? " both" : " all") +
            " ask for standard output, where one output would run into another: write "
            "all but one of them to a file\n" +
            kMoreHelp;
    return CommandLineOutcome::kUsageError;
  }
  // The spatial estimates show in the tables and on the page's maps, which
  // need the regions' shapes; a run that shows them nowhere is refused.
  const bool maps = !settings->ReportFileName.empty() &&
                    (!settings->RegionsFileName.empty() || IsGisDataName(settings->DataFileName));
  if (!settings->Neighbours.empty() && settings->CsvFileName.empty() &&
      settings->GpkgFileName.empty() && settings->GeoJsonFileName.empty() && !maps) {
    *text = std::string("--neighbours adds columns to the CSV table and maps to the page: ask "
                        "for --csv FILE (or --gpkg, --geojson), or a page with --regions\n") +
            kMoreHelp;
    return CommandLineOutcome::kUsageError;
  }
  if (const std::optional<std::string> refused = SettleModel(
          app, model, expected, exposure, per, app.count("--threshold") > 0, threshold, settings)) {
    *text = *refused + "\n" + kMoreHelp;
    return CommandLineOutcome::kUsageError;
  }
  if (const std::optional<std::string> refused = CheckRegionOptions(app, *settings)) {
    *text = *refused + "\n" + kMoreHelp;
    return CommandLineOutcome::kUsageError;
  }
  if (!rates && app.count("--threshold") > 0) settings->Threshold = threshold;
  settings->Estimator = estimator == "me" ? PriorEstimator::kMe : PriorEstimator::kMle;
  if (format == "legacy") settings->Format = InputFormat::kLegacy;
  if (format == "csv") settings->Format = InputFormat::kCsv;
  if (format == "tsv") settings->Format = InputFormat::kTsv;
  if (!delimiter.empty()) settings->Columns.Delimiter = delimiter == "tab" ? '\t' : delimiter[0];
  settings->Columns.Missing = missing_group == "skip"        ? MissingGroup::kSkip
                              : missing_group == "own-group" ? MissingGroup::kOwnGroup
                                                             : MissingGroup::kRefuse;
  return CommandLineOutcome::kRun;
}

}  // namespace propsmooth
