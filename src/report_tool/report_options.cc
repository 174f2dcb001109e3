#include "report_tool/report_options.h"

#include <charconv>
#include <cmath>
#include <system_error>
#include <sstream>
#include <vector>

#include <CLI/CLI.hpp>

#include "app/options.h"
#include "report_tool/version.h"

namespace propsmooth {
namespace {

constexpr const char* kFitHelp =
    "Fit options, read as propsmooth reads them (value written directly behind\n"
    "the letter, letter in either case):\n"
    "  -Affff   Initial value for Alpha (default: the moment estimator)\n"
    "  -Bffff   Initial value for Beta (default: the moment estimator)\n"
    "  -Effff   Error tolerance of the Newton-Raphson fit (default 0.00001)\n"
    "  -Lnn     Iteration limit of the Newton-Raphson fit (default 20)\n"
    "Example:\n"
    "  propsmooth-report rats.txt rats.html --level 0.9 --tsv rats.tsv -L50\n";

// True for the fit options that propsmooth spells with a glued value.
bool IsFitOption(std::string_view arg) {
  if (arg.size() < 2 || arg[0] != '-') return false;
  switch (arg[1]) {
    case 'A': case 'a': case 'B': case 'b':
    case 'E': case 'e': case 'L': case 'l':
      return true;
    default:
      return false;
  }
}

// The whole text must be the number: CLI11 then converts it the same way.
template <typename Number>
bool ReadWhole(const std::string& text, Number* value) {
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, *value);
  return error == std::errc() && stop == end;
}

std::string OpenUnitIntervalCheck(const std::string& text) {
  double value = 0.0;
  if (!ReadWhole(text, &value) || !(value > 0.0 && value < 1.0)) {
    return "the level must lie strictly between 0 and 1, not " + text;
  }
  return std::string();
}

// from_chars takes no sign for an unsigned count, so "-1" is refused.
std::string CountCheck(const std::string& text) {
  std::size_t value = 0;
  if (!ReadWhole(text, &value)) {
    return "the count must be a whole number, 0 or more, not " + text;
  }
  return std::string();
}

}  // namespace

CommandLineOutcome ReadReportCommandLine(std::span<const std::string_view> args,
                                         ReportSettings* settings, std::string* text) {
  // CLI11 has no notion of a value glued to a one-letter option with a
  // number like "-A12.3", and reads "-E" as a flag cluster; so these are
  // taken out first and read by propsmooth's own option reader.
  std::vector<std::string_view> fit_args;
  std::vector<std::string> rest;
  bool positional_only = false;
  for (const std::string_view arg : args) {
    if (arg == "--") positional_only = true;
    if (!positional_only && IsFitOption(arg)) {
      fit_args.push_back(arg);
    } else {
      rest.emplace_back(arg);
    }
  }

  std::string estimator = "mle";
  CLI::App app("HTML report of empirical Bayes proportions under the binomial-beta "
               "model: the figures of propsmooth's log per group, plots and credible "
               "intervals.",
               "propsmooth-report");
  app.add_option("DataFileName", settings->DataFileName,
                 "Data file: Unit Code Data1 Data2 per record, as for propsmooth")
      ->required();
  app.add_option("ReportFileName", settings->ReportFileName,
                 "HTML file to write (self-contained: inline SVG, no script)")
      ->required();
  app.add_option("--level", settings->Level,
                 "Level of the equal-tailed credible intervals, strictly between 0 and 1")
      ->capture_default_str()
      ->check(CLI::Validator(OpenUnitIntervalCheck, "FLOAT in (0,1)"));
  app.add_option("--estimator", estimator,
                 "Prior of the intervals and the shrinkage plot: mle (the moment "
                 "estimators where the fit fails) or me")
      ->capture_default_str()
      ->check(CLI::IsMember({"mle", "me"}));
  app.add_option("--tsv", settings->TsvFileName,
                 "Also write every region's interval to this tab-separated file");
  app.add_option("--max-groups", settings->MaxGroups,
                 "Draw plots and region tables for at most this many groups (the "
                 "first in Unit order); every group stays in the index")
      ->capture_default_str()
      ->check(CLI::Validator(CountCheck, "0 or more"));
  app.set_version_flag("--version", std::string("propsmooth-report ") + kReportToolVersion);
  app.footer(kFitHelp);

  std::ostringstream out;
  try {
    // CLI11 takes the arguments last first.
    std::vector<std::string> reversed(rest.rbegin(), rest.rend());
    app.parse(reversed);
  } catch (const CLI::ParseError& error) {
    const int code = app.exit(error, out, out);
    *text = out.str();
    return code == 0 ? CommandLineOutcome::kShown : CommandLineOutcome::kUsageError;
  }
  settings->Estimator = estimator == "me" ? PriorEstimator::kMe : PriorEstimator::kMle;
  if (!ParseOptions(fit_args, &settings->Fit)) {
    *text = "Option Error!\n";
    return CommandLineOutcome::kOptionError;
  }
  return CommandLineOutcome::kRun;
}

}  // namespace propsmooth
