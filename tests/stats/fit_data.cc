#include "fit_data.h"

#include <cmath>
#include <cstdio>

#include "estimate/eb.h"
#include "input/data_file.h"

namespace propsmooth {

std::vector<Region> RatRegions() {
  RecordTable table;
  std::FILE* file = std::fopen(PROPSMOOTH_SOURCE_DIR "/examples/rats.txt", "r");
  if (file != nullptr) {
    ReadDataFile(file, &table);
    std::fclose(file);
  }
  Counts counts;
  for (const RegionRecord& record : table) counts.emplace_back(record.Data1, record.Data2);
  return RegionsOf(counts);
}

PriorFit FitAfterPropsmooth(const std::vector<Region>& regions, const RunSettings& settings,
                            bool size_bound) {
  GroupWorkspace workspace;
  workspace.Regions = regions;
  EstimateGroup(settings, false, &workspace);
  return FitPrior(workspace.Regions, workspace.Summary, settings, size_bound);
}

double LogGammaLogLik(const std::vector<Region>& regions, double logit_mean,
                      double log_size) {
  const double size = std::exp(log_size);
  const double a = size / (1.0 + std::exp(-logit_mean));
  const double b = size / (1.0 + std::exp(logit_mean));
  double total = 0.0;
  for (const Region& r : regions) {
    const double x = r.Data1;
    const double n = r.Data2;
    total += std::lgamma(n + 1) - std::lgamma(x + 1) - std::lgamma(n - x + 1) +
             std::lgamma(a + x) - std::lgamma(a) + std::lgamma(b + n - x) -
             std::lgamma(b) - std::lgamma(size + n) + std::lgamma(size);
  }
  return total;
}

LocalShape DifferenceShape(const std::function<double(double, double)>& f,
                           double u, double v) {
  constexpr double h = 1e-3;
  LocalShape shape;
  const double centre = f(u, v);
  shape.LogLik = centre;
  shape.Gradient[0] = (f(u + h, v) - f(u - h, v)) / (2 * h);
  shape.Gradient[1] = (f(u, v + h) - f(u, v - h)) / (2 * h);
  shape.Hessian[0][0] = (f(u + h, v) - 2 * centre + f(u - h, v)) / (h * h);
  shape.Hessian[1][1] = (f(u, v + h) - 2 * centre + f(u, v - h)) / (h * h);
  shape.Hessian[0][1] =
      (f(u + h, v + h) - f(u + h, v - h) - f(u - h, v + h) + f(u - h, v - h)) / (4 * h * h);
  shape.Hessian[1][0] = shape.Hessian[0][1];
  return shape;
}

}  // namespace propsmooth
