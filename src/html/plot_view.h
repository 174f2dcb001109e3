// A group as its plots see it, whatever the count model: every region's
// raw and EB value in the units the page shows, its interval and its size,
// and the words, prior density and control limits of the model. The plots
// draw from this alone; PlotViewOf is the one place that knows whether a
// group holds proportions or rates.
#ifndef PROPSMOOTH_HTML_PLOT_VIEW_H_
#define PROPSMOOTH_HTML_PLOT_VIEW_H_

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "html/group_view.h"
#include "html/svg_chart.h"

namespace propsmooth {

/// How the page speaks of a model's values: proportions in percent, SMRs
/// (observed over expected), or rates per `Per` of person-time.
struct ValueTerms {
  bool Percent = true;          // proportions, shown in percent
  double Scale = 100.0;         // shown value = Scale * value
  std::string Singular = "proportion";
  std::string Plural = "proportions";
  std::string Unit = " (%)";    // after an axis title
  std::string TableUnit = " (%)";  // after a column heading
  std::string DensityUnit = "percentage point";
};

/// The terms of proportions, or of rates (`rates`) shown times `per`,
/// against person-time (`exposure`) or expected counts.
ValueTerms TermsOf(bool rates, double per, bool exposure);

/// A value of the model (a proportion, a rate) in words, as captions and
/// prose give it: "12.5%" for proportions, four significant digits of the
/// shown value for rates ("1.02", "12.35").
std::string ValueWords(const ValueTerms& terms, double value);

/// Appends a shown rate: four significant digits ("1.051", "213.3"), but
/// whole numbers from 10,000 on rather than an exponent ("16384").
void AppendShown(double value, std::string* out);

/// One region as the plots draw it; values are shown values.
struct PlotRegion {
  double Value = 0.0;  // the raw value in the model's units
  double Raw = 0.0;
  std::optional<double> Eb;     // empty without a posterior
  std::optional<double> Lower;  // the credible interval, where the region has one
  std::optional<double> Upper;
  double Size = 0.0;            // the size, or the expected count or person-time
  bool OnFunnel = true;         // a raw value the funnel's axis can hold
  bool Discovery = false;
};

/// The funnel plot's model: its reference and limits around it.
struct FunnelModel {
  /// The reference in the model's units (the pooled proportion, an SMR of
  /// 1, the pooled rate); empty where there are no limits.
  std::optional<double> Reference;
  std::string ReferenceText;  // its legend key
  std::string NoLimits;       // the caption's sentence when there are none
  std::string SizeTitle;      // the horizontal axis' title
  std::string Intro;          // the caption's first sentence
  std::string LimitsKind;     // "binomial", "Poisson"
  std::string LimitsNote;     // what the caption adds on the limits' levels
  bool WholeSizes = true;     // sizes are whole numbers (binomial trials)
  /// The `probability` quantile of the model at `size` around `reference`
  /// (interpolated), in the model's units; empty where there is none.
  std::optional<double> (*Limit)(double size, double reference, double probability) = nullptr;
};

/// A group as its plots see it.
struct PlotView {
  const GroupView* Group = nullptr;  // its fit, names and records; outlives the view
  ValueTerms Terms;
  double Level = 0.95;  // of the credible intervals
  std::vector<PlotRegion> Regions;  // as Group->Regions
  /// The axis range of shown values holding [low, high].
  AxisRange (*Range)(double low, double high) = nullptr;
  /// The prior's density at a value of the model, per unit of it; empty
  /// where it has none. Null: the group has no prior to draw.
  std::optional<double> (*Density)(double alpha, double beta, double x) = nullptr;
  std::string PriorText;  // the density's legend key: "newton Beta(2, 30)"
  /// The value the fit shrinks towards (the prior's mean or the common
  /// rate), in the model's units.
  std::optional<double> Centre;
  FunnelModel Funnel;
};

/// The view of `group` with credible intervals at `level`.
PlotView PlotViewOf(const GroupView& group, double level);

/// A shown value of `view` in the model's units.
inline double ModelValue(const PlotView& view, double shown) { return shown / view.Terms.Scale; }

/// A dot's tooltip for region `i`: "Code C: D1 of D2" for proportions,
/// "Row C: x observed, E expected" for rates.
std::string RegionTooltip(const PlotView& view, std::size_t i);

}  // namespace propsmooth

#endif  // PROPSMOOTH_HTML_PLOT_VIEW_H_
