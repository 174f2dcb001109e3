#include "geo/neighbours.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>
#include <unordered_map>
#include <unordered_set>
#include <utility>

namespace propsmooth {
namespace {

struct CellKey {
  std::int64_t X = 0;
  std::int64_t Y = 0;
  bool operator==(const CellKey&) const = default;
};

struct CellHash {
  std::size_t operator()(const CellKey& key) const {
    const std::uint64_t x = static_cast<std::uint64_t>(key.X) * 0x9E3779B97F4A7C15ULL;
    const std::uint64_t y = static_cast<std::uint64_t>(key.Y) * 0xC2B2AE3D27D4EB4FULL;
    return x ^ (y + (x << 6) + (x >> 2));
  }
};

struct Vertex {
  MapPoint Point;
  std::size_t Region = 0;
};

// Cells must index with a margin of one either way in 64 bits.
constexpr double kLargestCell = 9.0e18;

// A cell is this many snaps wide: a vertex's snap box then lies in its own
// cell but near the cell's edges, so most vertices look up one cell, not
// nine, while distinct vertices (far more than a snap apart in any real
// layer) still rarely share one.
constexpr double kSnapsPerCell = 256.0;

bool CellOf(double x, double y, double cell, CellKey* key) {
  const double cx = std::floor(x / cell);
  const double cy = std::floor(y / cell);
  if (!(std::fabs(cx) < kLargestCell) || !(std::fabs(cy) < kLargestCell)) return false;
  key->X = static_cast<std::int64_t>(cx);
  key->Y = static_cast<std::int64_t>(cy);
  return true;
}

bool SamePoint(const MapPoint& a, const MapPoint& b) { return a.x == b.x && a.y == b.y; }

// The region's distinct vertices: a point repeated (a ring's closing point
// where the file keeps it, a vertex two polygons share) counts once, as it
// is one point of the boundary.
std::vector<MapPoint> DistinctVertices(const RegionShape& region) {
  std::vector<MapPoint> points;
  for (const MapPolygon& polygon : region.polygons) {
    for (const MapRing& ring : polygon.rings) points.insert(points.end(), ring.begin(), ring.end());
  }
  std::sort(points.begin(), points.end(), [](const MapPoint& a, const MapPoint& b) {
    return a.x < b.x || (a.x == b.x && a.y < b.y);
  });
  points.erase(std::unique(points.begin(), points.end(), SamePoint), points.end());
  return points;
}

std::string_view Trimmed(std::string_view text) {
  const std::size_t begin = text.find_first_not_of(" \t\r");
  if (begin == std::string_view::npos) return std::string_view();
  const std::size_t end = text.find_last_not_of(" \t\r");
  return text.substr(begin, end - begin + 1);
}

std::vector<std::string_view> Words(std::string_view line) {
  std::vector<std::string_view> words;
  std::size_t begin = 0;
  while (true) {
    begin = line.find_first_not_of(" \t\r", begin);
    if (begin == std::string_view::npos) break;
    std::size_t end = line.find_first_of(" \t\r", begin);
    if (end == std::string_view::npos) end = line.size();
    words.push_back(line.substr(begin, end - begin));
    begin = end;
  }
  return words;
}

bool WholeNumber(std::string_view text, std::size_t* value) {
  const auto result = std::from_chars(text.data(), text.data() + text.size(), *value);
  return result.ec == std::errc() && result.ptr == text.data() + text.size();
}

bool RealNumber(std::string_view text, double* value) {
  const auto result = std::from_chars(text.data(), text.data() + text.size(), *value);
  return result.ec == std::errc() && result.ptr == text.data() + text.size() &&
         std::isfinite(*value);
}

// The lines of a text with their numbers (1 for the first), blank ones
// left out.
struct NumberedLine {
  std::size_t Number = 0;
  std::string_view Text;
};

std::vector<NumberedLine> NonBlankLines(std::string_view text) {
  std::vector<NumberedLine> lines;
  std::size_t number = 0;
  for (std::size_t begin = 0; begin < text.size();) {
    std::size_t end = text.find('\n', begin);
    if (end == std::string_view::npos) end = text.size();
    ++number;
    const std::string_view line = Trimmed(text.substr(begin, end - begin));
    if (!line.empty()) lines.push_back({number, line});
    begin = end + 1;
  }
  return lines;
}

std::string LineError(std::string_view file_name, std::size_t line, std::string_view what) {
  return std::string(file_name) + " line " + std::to_string(line) + ": " + std::string(what);
}

// Reads the header line shared by GAL and GWT: "n", or "0 n layer field".
bool ReadHeader(const NumberedLine& line, std::string_view file_name, std::size_t* count,
                std::string* error) {
  const std::vector<std::string_view> words = Words(line.Text);
  std::size_t first = 0;
  const bool plain = words.size() == 1 && WholeNumber(words[0], count);
  const bool geoda = words.size() >= 2 && WholeNumber(words[0], &first) && first == 0 &&
                     WholeNumber(words[1], count);
  if (plain || geoda) return true;
  *error = LineError(file_name, line.Number,
                     "the header is not \"n\" or \"0 n layer id-field\": \"" +
                         std::string(line.Text) + "\"");
  return false;
}

// The start of reading a GAL or GWT text: `file` emptied to lists over
// `ids`, the text's non-blank lines, the count its header announces.
bool StartNeighbourFile(std::string_view text, std::string_view file_name, std::string_view kind,
                        std::span<const std::string> ids, NeighbourFile* file,
                        std::vector<NumberedLine>* lines, std::size_t* count,
                        std::string* error) {
  *file = NeighbourFile();
  file->Lists.assign(ids.size(), {});
  *lines = NonBlankLines(text);
  if (lines->empty()) {
    *error = std::string(file_name) + ": empty, no " + std::string(kind) + " header";
    return false;
  }
  return ReadHeader(lines->front(), file_name, count, error);
}

// Joins the file's ids to the given ones.
class IdJoin {
 public:
  explicit IdJoin(std::span<const std::string> ids) {
    for (std::size_t i = 0; i < ids.size(); ++i) positions_.emplace(ids[i], i);
  }
  // The position of `id`, or npos (and `id` remembered as unknown).
  std::size_t Find(std::string_view id, NeighbourFile* file) {
    const auto found = positions_.find(std::string(id));
    if (found != positions_.end()) return found->second;
    if (unknown_.insert(std::string(id)).second) file->Unknown.emplace_back(id);
    return kNone;
  }
  static constexpr std::size_t kNone = static_cast<std::size_t>(-1);

 private:
  std::unordered_map<std::string, std::size_t> positions_;
  std::unordered_set<std::string> unknown_;
};

void FinishLists(const std::vector<bool>& listed, NeighbourFile* file) {
  for (std::size_t i = 0; i < file->Lists.size(); ++i) {
    std::vector<std::size_t>& list = file->Lists[i];
    std::sort(list.begin(), list.end());
    if (!listed[i]) file->Absent.push_back(i);
  }
}

double SquaredPlanar(MapPoint a, MapPoint b) {
  const double dx = a.x - b.x;
  const double dy = a.y - b.y;
  return dx * dx + dy * dy;
}

bool EndsWithNoCase(std::string_view text, std::string_view end) {
  if (text.size() <= end.size()) return false;
  const std::string_view tail = text.substr(text.size() - end.size());
  for (std::size_t i = 0; i < end.size(); ++i) {
    const char c = tail[i];
    const char lower = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    if (lower != end[i]) return false;
  }
  return true;
}

}  // namespace

bool ContiguityNeighbours(const RegionShapes& shapes, Contiguity kind, double snap,
                          NeighbourLists* lists, std::string* error) {
  const std::size_t regions = shapes.regions.size();
  // Before sorting them: a NaN has no place in an order.
  for (const RegionShape& region : shapes.regions) {
    for (const MapPolygon& polygon : region.polygons) {
      for (const MapRing& ring : polygon.rings) {
        for (const MapPoint& point : ring) {
          if (!std::isfinite(point.x) || !std::isfinite(point.y)) {
            *error = "region " + region.id + " has a vertex that is not a finite number";
            return false;
          }
        }
      }
    }
  }
  std::vector<Vertex> vertices;
  for (std::size_t r = 0; r < regions; ++r) {
    for (const MapPoint& point : DistinctVertices(shapes.regions[r])) {
      vertices.push_back({point, r});
    }
  }
  // Each cell's vertices as a chain: the cell's first, then next[v].
  constexpr std::uint32_t kEnd = static_cast<std::uint32_t>(-1);
  const double cell = snap * kSnapsPerCell;
  std::unordered_map<CellKey, std::uint32_t, CellHash> cells;
  cells.reserve(vertices.size());
  std::vector<std::uint32_t> next(vertices.size(), kEnd);
  for (std::size_t v = 0; v < vertices.size(); ++v) {
    const MapPoint point = vertices[v].Point;
    CellKey key;
    if (!CellOf(point.x, point.y, cell, &key) ||
        !CellOf(point.x - snap, point.y - snap, cell, &key) ||
        !CellOf(point.x + snap, point.y + snap, cell, &key) ||
        vertices.size() >= kEnd) {
      *error = "region " + shapes.regions[vertices[v].Region].id +
               " has a vertex too far out to compare at a snap of " +
               std::to_string(snap);
      return false;
    }
    CellOf(point.x, point.y, cell, &key);
    const auto [slot, added] = cells.emplace(key, static_cast<std::uint32_t>(v));
    if (!added) {
      next[v] = slot->second;
      slot->second = static_cast<std::uint32_t>(v);
    }
  }
  // Pairs of close vertices by pair of regions (the lower position first);
  // each pair of vertices is met once, from the lower region's vertex.
  std::unordered_map<std::size_t, std::uint32_t> shared;
  for (std::size_t v = 0; v < vertices.size(); ++v) {
    const Vertex& here = vertices[v];
    CellKey low;
    CellKey high;
    CellOf(here.Point.x - snap, here.Point.y - snap, cell, &low);
    CellOf(here.Point.x + snap, here.Point.y + snap, cell, &high);
    for (std::int64_t cx = low.X; cx <= high.X; ++cx) {
      for (std::int64_t cy = low.Y; cy <= high.Y; ++cy) {
        const auto found = cells.find(CellKey{cx, cy});
        if (found == cells.end()) continue;
        for (std::uint32_t w = found->second; w != kEnd; w = next[w]) {
          const Vertex& there = vertices[w];
          if (there.Region <= here.Region) continue;
          if (std::fabs(here.Point.x - there.Point.x) > snap ||
              std::fabs(here.Point.y - there.Point.y) > snap) {
            continue;
          }
          ++shared[here.Region * regions + there.Region];
        }
      }
    }
  }
  const std::uint32_t needed = kind == Contiguity::kQueen ? 1 : 2;
  lists->assign(regions, {});
  for (const auto& [pair, count] : shared) {
    if (count < needed) continue;
    const std::size_t a = pair / regions;
    const std::size_t b = pair % regions;
    (*lists)[a].push_back(b);
    (*lists)[b].push_back(a);
  }
  for (std::vector<std::size_t>& list : *lists) std::sort(list.begin(), list.end());
  return true;
}

MapPoint CentroidOf(const RegionShape& region) {
  // Each ring as a fan of triangles from its first point, which keeps the
  // products small; outer rings add their area whatever their winding,
  // holes take theirs away.
  double area = 0.0;
  double sum_x = 0.0;
  double sum_y = 0.0;
  double count = 0.0;
  double mean_x = 0.0;
  double mean_y = 0.0;
  for (const MapPolygon& polygon : region.polygons) {
    for (std::size_t r = 0; r < polygon.rings.size(); ++r) {
      const MapRing& ring = polygon.rings[r];
      for (const MapPoint& point : ring) {
        mean_x += point.x;
        mean_y += point.y;
        count += 1.0;
      }
      if (ring.size() < 3) continue;
      const MapPoint base = ring[0];
      double ring_area = 0.0;
      double ring_x = 0.0;
      double ring_y = 0.0;
      for (std::size_t i = 1; i + 1 < ring.size(); ++i) {
        const double ax = ring[i].x - base.x;
        const double ay = ring[i].y - base.y;
        const double bx = ring[i + 1].x - base.x;
        const double by = ring[i + 1].y - base.y;
        const double twice = ax * by - bx * ay;
        ring_area += twice;
        ring_x += twice * (base.x + ring[i].x + ring[i + 1].x);
        ring_y += twice * (base.y + ring[i].y + ring[i + 1].y);
      }
      const double sign = ((ring_area >= 0.0) == (r == 0)) ? 1.0 : -1.0;
      area += sign * ring_area;
      sum_x += sign * ring_x;
      sum_y += sign * ring_y;
    }
  }
  if (count == 0.0) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    return {nan, nan};
  }
  if (area == 0.0) return {mean_x / count, mean_y / count};
  return {sum_x / (3.0 * area), sum_y / (3.0 * area)};
}

double GreatCircleKm(MapPoint a, MapPoint b) {
  constexpr double kRadians = std::numbers::pi / 180.0;
  constexpr double kEarthKm = 6371.0;
  const double lat_a = a.y * kRadians;
  const double lat_b = b.y * kRadians;
  const double half_lat = 0.5 * (lat_b - lat_a);
  const double half_lon = 0.5 * (b.x - a.x) * kRadians;
  const double h = std::sin(half_lat) * std::sin(half_lat) +
                   std::cos(lat_a) * std::cos(lat_b) * std::sin(half_lon) * std::sin(half_lon);
  return 2.0 * kEarthKm * std::asin(std::sqrt(std::min(1.0, h)));
}

bool NearestNeighbours(std::span<const MapPoint> points, std::size_t k, bool geographic,
                       NeighbourLists* lists, std::string* error) {
  const std::size_t n = points.size();
  if (k == 0 || k >= n) {
    *error = "knn:" + std::to_string(k) + " needs at least " + std::to_string(k + 1) +
             " regions and k from 1; there are " + std::to_string(n);
    return false;
  }
  for (std::size_t i = 0; i < n; ++i) {
    if (!std::isfinite(points[i].x) || !std::isfinite(points[i].y)) {
      *error = "region " + std::to_string(i + 1) + " has no finite centroid";
      return false;
    }
  }
  lists->assign(n, {});
  std::vector<std::pair<double, std::size_t>> distances;
  distances.reserve(n - 1);
  for (std::size_t i = 0; i < n; ++i) {
    distances.clear();
    for (std::size_t j = 0; j < n; ++j) {
      if (j == i) continue;
      distances.emplace_back(geographic ? GreatCircleKm(points[i], points[j])
                                        : SquaredPlanar(points[i], points[j]),
                             j);
    }
    std::partial_sort(distances.begin(), distances.begin() + static_cast<std::ptrdiff_t>(k),
                      distances.end());
    std::vector<std::size_t>& list = (*lists)[i];
    for (std::size_t m = 0; m < k; ++m) list.push_back(distances[m].second);
    std::sort(list.begin(), list.end());
  }
  return true;
}

bool ReadGal(std::string_view text, std::string_view file_name,
             std::span<const std::string> ids, NeighbourFile* file, std::string* error) {
  std::vector<NumberedLine> lines;
  std::size_t count = 0;
  if (!StartNeighbourFile(text, file_name, "GAL", ids, file, &lines, &count, error)) return false;
  IdJoin join(ids);
  std::vector<bool> listed(ids.size(), false);
  std::unordered_set<std::string_view> seen;
  std::size_t entries = 0;
  for (std::size_t l = 1; l < lines.size(); ++l) {
    const NumberedLine& head = lines[l];
    const std::vector<std::string_view> words = Words(head.Text);
    std::size_t k = 0;
    if (words.size() != 2 || !WholeNumber(words[1], &k)) {
      *error = LineError(file_name, head.Number,
                         "expected \"id count\", found \"" + std::string(head.Text) + "\"");
      return false;
    }
    if (!seen.insert(words[0]).second) {
      *error = LineError(file_name, head.Number,
                         "region " + std::string(words[0]) + " is listed a second time");
      return false;
    }
    ++entries;
    std::vector<std::string_view> neighbours;
    if (k > 0) {
      if (l + 1 >= lines.size()) {
        *error = LineError(file_name, head.Number,
                           "region " + std::string(words[0]) + " has " + std::to_string(k) +
                               " neighbours but the file ends before their line");
        return false;
      }
      const NumberedLine& line = lines[++l];
      neighbours = Words(line.Text);
      if (neighbours.size() != k) {
        *error = LineError(file_name, line.Number,
                           std::to_string(neighbours.size()) + " neighbours where line " +
                               std::to_string(head.Number) + " announced " + std::to_string(k));
        return false;
      }
      std::unordered_set<std::string_view> distinct(neighbours.begin(), neighbours.end());
      if (distinct.size() != neighbours.size()) {
        *error = LineError(file_name, line.Number, "a neighbour is listed twice");
        return false;
      }
    }
    const std::size_t from = join.Find(words[0], file);
    if (from == IdJoin::kNone) continue;
    listed[from] = true;
    for (const std::string_view id : neighbours) {
      const std::size_t to = join.Find(id, file);
      if (to != IdJoin::kNone && to != from) file->Lists[from].push_back(to);
    }
  }
  if (entries != count) {
    *error = LineError(file_name, lines[0].Number,
                       "the header announces " + std::to_string(count) +
                           " regions, the file lists " + std::to_string(entries));
    return false;
  }
  FinishLists(listed, file);
  return true;
}

bool ReadGwt(std::string_view text, std::string_view file_name,
             std::span<const std::string> ids, NeighbourFile* file, std::string* error) {
  std::vector<NumberedLine> lines;
  std::size_t count = 0;
  if (!StartNeighbourFile(text, file_name, "GWT", ids, file, &lines, &count, error)) return false;
  IdJoin join(ids);
  std::vector<bool> listed(ids.size(), false);
  std::unordered_set<std::string> pairs;
  for (std::size_t l = 1; l < lines.size(); ++l) {
    const NumberedLine& line = lines[l];
    const std::vector<std::string_view> words = Words(line.Text);
    double weight = 0.0;
    if (words.size() != 3 || !RealNumber(words[2], &weight)) {
      *error = LineError(file_name, line.Number,
                         "expected \"from to weight\", found \"" + std::string(line.Text) + "\"");
      return false;
    }
    std::string pair = std::string(words[0]) + '\n' + std::string(words[1]);
    if (!pairs.insert(std::move(pair)).second) {
      *error = LineError(file_name, line.Number,
                         "the pair " + std::string(words[0]) + " " + std::string(words[1]) +
                             " is listed a second time");
      return false;
    }
    const std::size_t from = join.Find(words[0], file);
    const std::size_t to = join.Find(words[1], file);
    if (from == IdJoin::kNone) continue;
    listed[from] = true;
    if (to != IdJoin::kNone && to != from) file->Lists[from].push_back(to);
  }
  // A GWT file names no region without a neighbour: those the header counts
  // beyond the ones seen are islands, which the given ids cannot tell from
  // regions missing from the file; only a header counting fewer is wrong.
  std::size_t seen = 0;
  for (const bool flag : listed) seen += flag ? 1 : 0;
  if (seen > count) {
    *error = LineError(file_name, lines[0].Number,
                       "the header announces " + std::to_string(count) +
                           " regions, the file has pairs from " + std::to_string(seen));
    return false;
  }
  FinishLists(listed, file);
  return true;
}

std::string GalText(std::span<const std::string> ids, const NeighbourLists& lists,
                    std::string_view layer, std::string_view id_field) {
  std::string text = "0 " + std::to_string(ids.size()) + " " + std::string(layer) + " " +
                     std::string(id_field) + "\n";
  for (std::size_t i = 0; i < ids.size(); ++i) {
    text += ids[i] + " " + std::to_string(lists[i].size()) + "\n";
    for (std::size_t m = 0; m < lists[i].size(); ++m) {
      if (m > 0) text.push_back(' ');
      text += ids[lists[i][m]];
    }
    text.push_back('\n');
  }
  return text;
}

std::vector<std::size_t> Islands(const NeighbourLists& lists) {
  std::vector<std::size_t> islands;
  for (std::size_t i = 0; i < lists.size(); ++i) {
    if (lists[i].empty()) islands.push_back(i);
  }
  return islands;
}

bool ParseNeighbourChoice(std::string_view text, NeighbourChoice* choice, std::string* error) {
  using Kind = NeighbourChoice::Kind;
  *choice = NeighbourChoice();
  if (text == "queen") return true;
  if (text == "rook") {
    choice->Source = Kind::kRook;
    return true;
  }
  constexpr std::string_view kKnn = "knn:";
  if (text.substr(0, kKnn.size()) == kKnn) {
    std::size_t k = 0;
    if (WholeNumber(text.substr(kKnn.size()), &k) && k >= 1) {
      choice->Source = Kind::kKnn;
      choice->K = k;
      return true;
    }
  } else if (EndsWithNoCase(text, ".gal") || EndsWithNoCase(text, ".gwt")) {
    choice->Source = EndsWithNoCase(text, ".gal") ? Kind::kGal : Kind::kGwt;
    choice->FileName = std::string(text);
    return true;
  }
  *error = "\"" + std::string(text) +
           "\" is none of queen, rook, knn:K (K a whole number from 1), a .gal or .gwt file";
  return false;
}

bool ReadCentroids(std::string_view text, std::string_view file_name,
                   std::vector<std::string>* ids, std::vector<MapPoint>* points,
                   bool* geographic, std::string* error) {
  ids->clear();
  points->clear();
  const std::vector<NumberedLine> lines = NonBlankLines(text);
  const std::string_view header = lines.empty() ? std::string_view() : lines[0].Text;
  if (header != "id,x,y" && header != "id,lon,lat") {
    *error = std::string(file_name) + " line 1: the header must be \"id,x,y\" or \"id,lon,lat\"";
    return false;
  }
  *geographic = header == "id,lon,lat";
  std::unordered_set<std::string_view> seen;
  for (std::size_t l = 1; l < lines.size(); ++l) {
    const std::string_view line = lines[l].Text;
    const std::size_t first = line.find(',');
    const std::size_t second =
        first == std::string_view::npos ? first : line.find(',', first + 1);
    MapPoint point;
    if (second == std::string_view::npos || line.find(',', second + 1) != std::string_view::npos ||
        !RealNumber(Trimmed(line.substr(first + 1, second - first - 1)), &point.x) ||
        !RealNumber(Trimmed(line.substr(second + 1)), &point.y)) {
      *error = LineError(file_name, lines[l].Number,
                         "expected \"id,x,y\" with finite numbers, found \"" + std::string(line) +
                             "\"");
      return false;
    }
    const std::string_view id = Trimmed(line.substr(0, first));
    if (!seen.insert(id).second) {
      *error = LineError(file_name, lines[l].Number,
                         "region " + std::string(id) + " is listed a second time");
      return false;
    }
    ids->emplace_back(id);
    points->push_back(point);
  }
  return true;
}

}  // namespace propsmooth
