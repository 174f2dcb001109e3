#include "geo_binding.h"

#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include <cmath>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "array_view.h"
#include "fit_result.h"
#include "geo/neighbours.h"
#include "geo/region_shapes.h"
#include "record_check.h"
#include "stats/record_estimates.h"
#include "stats/spatial_eb.h"

namespace propsmooth {
namespace {

namespace py = pybind11;


// `ends` as the cumulative ends of consecutive slices of `total` items:
// never decreasing, never below 0, the last at `total`. The package builds
// them; this guards the indexing below against any other caller.
std::span<const std::int64_t> CheckedEnds(const LongArray& array, std::size_t total,
                                          const char* what) {
  const std::span<const std::int64_t> ends = Values(array, what);
  std::int64_t previous = 0;
  for (const std::int64_t end : ends) {
    if (end < previous) {
      throw py::value_error(std::string(what) + " must be cumulative ends, never decreasing");
    }
    previous = end;
  }
  if (static_cast<std::uint64_t>(previous) != total) {
    throw py::value_error(std::string(what) + " must end at " + std::to_string(total) +
                          ", not " + std::to_string(previous));
  }
  return ends;
}

// The regions' shapes from the flat arrays: point p of xs and ys, ring r
// ending before ring_ends[r], polygon q's rings ending before
// polygon_ends[q], region g's polygons ending before region_ends[g].
RegionShapes ShapesOf(const DoubleArray& x_array, const DoubleArray& y_array,
                      const LongArray& ring_array, const LongArray& polygon_array,
                      const LongArray& region_array, const std::vector<std::string>& ids) {
  const std::span<const double> xs = Values(x_array, "xs");
  const std::span<const double> ys = Values(y_array, "ys");
  if (xs.size() != ys.size()) throw py::value_error("xs and ys must be of one length");
  const auto ring_ends = CheckedEnds(ring_array, xs.size(), "ring_ends");
  const auto polygon_ends = CheckedEnds(polygon_array, ring_ends.size(), "polygon_ends");
  const auto region_ends = CheckedEnds(region_array, polygon_ends.size(), "region_ends");
  if (region_ends.size() != ids.size()) {
    throw py::value_error("region_ends has " + std::to_string(region_ends.size()) +
                          " regions but ids has " + std::to_string(ids.size()));
  }
  RegionShapes shapes;
  shapes.regions.resize(ids.size());
  std::size_t polygon = 0;
  std::size_t ring = 0;
  std::size_t point = 0;
  for (std::size_t g = 0; g < ids.size(); ++g) {
    RegionShape& region = shapes.regions[g];
    region.id = ids[g];
    region.name = ids[g];
    for (; polygon < static_cast<std::size_t>(region_ends[g]); ++polygon) {
      std::vector<MapRing> rings;
      for (; ring < static_cast<std::size_t>(polygon_ends[polygon]); ++ring) {
        MapRing& points = rings.emplace_back();
        for (; point < static_cast<std::size_t>(ring_ends[ring]); ++point) {
          points.push_back({xs[point], ys[point]});
        }
      }
      AddPolygon(std::move(rings), &region);
    }
  }
  return shapes;
}

std::pair<LongArray, LongArray> ListArrays(const NeighbourLists& lists) {
  LongArray offsets(static_cast<py::ssize_t>(lists.size() + 1));
  std::size_t total = 0;
  for (const auto& list : lists) total += list.size();
  LongArray positions(static_cast<py::ssize_t>(total));
  std::int64_t* offset = offsets.mutable_data();
  std::int64_t* position = positions.mutable_data();
  offset[0] = 0;
  std::size_t at = 0;
  for (std::size_t i = 0; i < lists.size(); ++i) {
    for (const std::size_t j : lists[i]) position[at++] = static_cast<std::int64_t>(j);
    offset[i + 1] = static_cast<std::int64_t>(at);
  }
  return {std::move(offsets), std::move(positions)};
}

// Lists over `regions` regions from ListArrays' pair; ValueError for a
// neighbour out of range or a region its own neighbour, which the
// estimators must never meet.
NeighbourIndex ListsOf(const LongArray& offset_array, const LongArray& position_array,
                       std::size_t regions) {
  const std::span<const std::int64_t> positions = Values(position_array, "positions");
  const std::span<const std::int64_t> offsets = Values(offset_array, "offsets");
  if (offsets.size() != regions + 1 || offsets.front() != 0) {
    throw py::value_error("offsets must start at 0 and hold one more value than the rows");
  }
  CheckedEnds(offset_array, positions.size(), "offsets");
  NeighbourIndex lists(regions);
  for (std::size_t i = 0; i < regions; ++i) {
    for (auto at = offsets[i]; at < offsets[i + 1]; ++at) {
      const std::int64_t j = positions[static_cast<std::size_t>(at)];
      if (j < 0 || static_cast<std::size_t>(j) >= regions || static_cast<std::size_t>(j) == i) {
        throw py::value_error("row " + std::to_string(i) + " has neighbour " +
                              std::to_string(j) + ", out of range or itself");
      }
      lists[i].push_back(static_cast<std::size_t>(j));
    }
  }
  return lists;
}

py::tuple ParseNeighbours(const std::string& text) {
  NeighbourChoice choice;
  std::string error;
  if (!ParseNeighbourChoice(text, &choice, &error)) throw py::value_error(error);
  const char* kind = "queen";
  switch (choice.Source) {
    case NeighbourChoice::Kind::kQueen:
      break;
    case NeighbourChoice::Kind::kRook:
      kind = "rook";
      break;
    case NeighbourChoice::Kind::kKnn:
      kind = "knn";
      break;
    case NeighbourChoice::Kind::kGal:
      kind = "gal";
      break;
    case NeighbourChoice::Kind::kGwt:
      kind = "gwt";
      break;
  }
  return py::make_tuple(kind, choice.K, choice.FileName);
}

std::pair<LongArray, LongArray> Contiguous(const DoubleArray& xs, const DoubleArray& ys,
                                           const LongArray& ring_ends,
                                           const LongArray& polygon_ends,
                                           const LongArray& region_ends,
                                           const std::vector<std::string>& ids, bool rook) {
  const RegionShapes shapes = ShapesOf(xs, ys, ring_ends, polygon_ends, region_ends, ids);
  NeighbourLists lists;
  std::string error;
  bool ok = false;
  {
    py::gil_scoped_release unlocked;
    ok = ContiguityNeighbours(shapes, rook ? Contiguity::kRook : Contiguity::kQueen,
                              kDefaultSnap, &lists, &error);
  }
  if (!ok) throw py::value_error(error);
  return ListArrays(lists);
}

std::pair<DoubleArray, DoubleArray> Centroids(const DoubleArray& xs, const DoubleArray& ys,
                                              const LongArray& ring_ends,
                                              const LongArray& polygon_ends,
                                              const LongArray& region_ends,
                                              const std::vector<std::string>& ids) {
  const RegionShapes shapes = ShapesOf(xs, ys, ring_ends, polygon_ends, region_ends, ids);
  DoubleArray cx(static_cast<py::ssize_t>(ids.size()));
  DoubleArray cy(static_cast<py::ssize_t>(ids.size()));
  for (std::size_t g = 0; g < ids.size(); ++g) {
    const MapPoint centroid = CentroidOf(shapes.regions[g]);
    cx.mutable_data()[g] = centroid.x;
    cy.mutable_data()[g] = centroid.y;
  }
  return {std::move(cx), std::move(cy)};
}

std::pair<LongArray, LongArray> Nearest(const DoubleArray& x_array, const DoubleArray& y_array,
                                        std::size_t k, bool geographic) {
  const std::span<const double> xs = Values(x_array, "x");
  const std::span<const double> ys = Values(y_array, "y");
  if (xs.size() != ys.size()) throw py::value_error("x and y must be of one length");
  std::vector<MapPoint> points;
  points.reserve(xs.size());
  for (std::size_t i = 0; i < xs.size(); ++i) points.push_back({xs[i], ys[i]});
  NeighbourLists lists;
  std::string error;
  bool ok = false;
  {
    py::gil_scoped_release unlocked;
    ok = NearestNeighbours(points, k, geographic, &lists, &error);
  }
  if (!ok) throw py::value_error(error);
  return ListArrays(lists);
}

py::tuple ReadNeighbourFile(const py::bytes& contents, const std::string& file_name,
                            const std::vector<std::string>& ids, bool gwt) {
  const std::string text = contents;
  NeighbourFile file;
  std::string error;
  const bool ok = gwt ? ReadGwt(text, file_name, ids, &file, &error)
                      : ReadGal(text, file_name, ids, &file, &error);
  if (!ok) throw py::value_error(error);
  auto [offsets, positions] = ListArrays(file.Lists);
  return py::make_tuple(std::move(offsets), std::move(positions), file.Absent, file.Unknown);
}

EstimateSettings LocalSettingsOf(double level, std::optional<double> alpha,
                                 std::optional<double> beta, double eps, std::int32_t max_iter) {
  if (!(level > 0.0 && level < 1.0)) {
    throw py::value_error("level must lie strictly between 0 and 1");
  }
  EstimateSettings settings;
  settings.Fit = FitSettings(alpha, beta, eps, max_iter);
  settings.Level = level;
  return settings;
}

// The spatial columns of the CSV table, local_prior's empty cells None,
// with the islands' positions and the tallies the console reports.
py::dict SpatialDict(const SpatialEstimates& estimates, const NeighbourIndex& lists) {
  const std::size_t rows = estimates.Figures.size();
  LongArray neighbours(static_cast<py::ssize_t>(rows));
  std::vector<DoubleArray> values;
  for (int column = 0; column < 4; ++column) values.emplace_back(static_cast<py::ssize_t>(rows));
  py::list priors(rows);
  for (std::size_t i = 0; i < rows; ++i) {
    const LocalFigures& figures = estimates.Figures[i];
    neighbours.mutable_data()[i] = static_cast<std::int64_t>(figures.Neighbours);
    values[0].mutable_data()[i] = figures.EbMe;
    values[1].mutable_data()[i] = figures.Eb;
    values[2].mutable_data()[i] = figures.Lower;
    values[3].mutable_data()[i] = figures.Upper;
    priors[i] = figures.Prior.empty() ? py::object(py::none()) : py::str(figures.Prior);
  }
  py::dict result;
  result["neighbours"] = neighbours;
  result["local_eb_me"] = values[0];
  result["local_eb"] = values[1];
  result["local_lower"] = values[2];
  result["local_upper"] = values[3];
  result["local_prior"] = priors;
  result["islands"] = Islands(lists);
  result["clamped"] = estimates.Clamped;
  result["small_neighbourhoods"] = estimates.SmallNeighbourhoods;
  return result;
}

py::dict Spatial(const IntArray& count_array, const IntArray& size_array,
                 const LongArray& offsets, const LongArray& positions, double level,
                 std::optional<double> alpha, std::optional<double> beta, double eps,
                 std::int32_t max_iter, unsigned threads) {
  const std::span<const std::int32_t> counts = Values(count_array, "counts");
  const std::span<const std::int32_t> sizes = Values(size_array, "sizes");
  CheckRecords(counts, sizes);
  const NeighbourIndex lists = ListsOf(offsets, positions, counts.size());
  const EstimateSettings settings = LocalSettingsOf(level, alpha, beta, eps, max_iter);
  RecordTable records(counts.size());
  for (std::size_t i = 0; i < counts.size(); ++i) {
    records[i].Code = static_cast<std::int32_t>(i + 1);
    records[i].Data1 = counts[i];
    records[i].Data2 = sizes[i];
  }
  SpatialEstimates estimates;
  {
    py::gil_scoped_release unlocked;
    estimates = EstimateSpatialProportions(records, lists, settings, Workers(threads));
  }
  return SpatialDict(estimates, lists);
}

py::dict SpatialRates(const IntArray& count_array, const DoubleArray& expected_array,
                      const LongArray& offsets, const LongArray& positions, double level,
                      std::optional<double> alpha, std::optional<double> beta, double eps,
                      std::int32_t max_iter, unsigned threads) {
  const std::span<const std::int32_t> counts = Values(count_array, "counts");
  const std::span<const double> expected = Values(expected_array, "expected");
  if (counts.size() != expected.size()) {
    throw py::value_error("counts and expected must be of one length");
  }
  for (std::size_t i = 0; i < counts.size(); ++i) {
    if (counts[i] < 0 || !(std::isfinite(expected[i]) && expected[i] > 0.0)) {
      throw py::value_error("row " + std::to_string(i) +
                            ": a count below 0, or an expected value not above 0 and finite");
    }
  }
  const NeighbourIndex lists = ListsOf(offsets, positions, counts.size());
  const EstimateSettings settings = LocalSettingsOf(level, alpha, beta, eps, max_iter);
  SpatialEstimates estimates;
  {
    py::gil_scoped_release unlocked;
    estimates = EstimateSpatialRates(counts, expected, lists, settings, Workers(threads));
  }
  return SpatialDict(estimates, lists);
}

}  // namespace

void RegisterGeo(pybind11::module_& m) {
  m.def("parse_neighbours", &ParseNeighbours, py::arg("text"),
        "neighbours= as (kind, k, file name): kind queen, rook, knn, gal or gwt.");
  m.def("contiguity", &Contiguous, py::arg("xs"), py::arg("ys"), py::arg("ring_ends"),
        py::arg("polygon_ends"), py::arg("region_ends"), py::arg("ids"), py::kw_only(),
        py::arg("rook"),
        "Queen (or rook) neighbours of the regions as (offsets, positions).");
  m.def("centroids", &Centroids, py::arg("xs"), py::arg("ys"), py::arg("ring_ends"),
        py::arg("polygon_ends"), py::arg("region_ends"), py::arg("ids"),
        "The regions' area-weighted centroids as (x, y); NaN for a region without a point.");
  m.def("nearest", &Nearest, py::arg("x"), py::arg("y"), py::kw_only(), py::arg("k"),
        py::arg("geographic"),
        "Each point's k nearest as (offsets, positions); great-circle when geographic.");
  m.def("read_neighbour_file", &ReadNeighbourFile, py::arg("text"), py::arg("file_name"),
        py::arg("ids"), py::kw_only(), py::arg("gwt"),
        "A GAL (or GWT) text joined to ids: (offsets, positions, absent positions, unknown ids).");
  m.def("spatial", &Spatial, py::arg("counts"), py::arg("sizes"), py::arg("offsets"),
        py::arg("positions"), py::kw_only(), py::arg("level"), py::arg("alpha"),
        py::arg("beta"), py::arg("eps"), py::arg("max_iter"), py::arg("threads"),
        "The spatial columns of proportions, with islands, clamped and small_neighbourhoods.");
  m.def("spatial_rates", &SpatialRates, py::arg("counts"), py::arg("expected"),
        py::arg("offsets"), py::arg("positions"), py::kw_only(), py::arg("level"),
        py::arg("alpha"), py::arg("beta"), py::arg("eps"), py::arg("max_iter"),
        py::arg("threads"),
        "The spatial columns of rates per unit of expected, as spatial gives them.");
}

}  // namespace propsmooth
