// Which regions neighbour which: contiguity from the polygons (queen and
// rook, as R's spdep::poly2nb decides them), the k nearest centroids, and
// GeoDa's GAL and GWT files. Every list is over the regions' own order.
#ifndef PROPSMOOTH_GEO_NEIGHBOURS_H_
#define PROPSMOOTH_GEO_NEIGHBOURS_H_

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "geo/region_shapes.h"

namespace propsmooth {

/// By region: the positions of its neighbours, ascending, never itself.
using NeighbourLists = std::vector<std::vector<std::size_t>>;

/// Two boundary points this close in x and in y are one point: poly2nb's
/// default snap, the square root of the double's epsilon.
inline constexpr double kDefaultSnap = 1.4901161193847656e-08;

enum class Contiguity {
  kQueen,  // at least one boundary point in common
  kRook,   // at least two boundary points in common: an edge
};

/// The contiguity neighbours of `shapes`: two regions neighbour when the
/// pairs (p, q), p a distinct vertex of one and q of the other with
/// |px - qx| <= snap and |py - qy| <= snap, number at least one (queen) or
/// two (rook). Vertices are hashed by snap-sized cells, so the time is about
/// linear in the number of vertices. False, with the reason in `error`, for
/// a coordinate that is not finite or too large to hash at this snap.
bool ContiguityNeighbours(const RegionShapes& shapes, Contiguity kind, double snap,
                          NeighbourLists* lists, std::string* error);

/// A region's centroid: the area-weighted centroid of its polygons in the
/// layer's own coordinates, holes taken away (GEOS's, and so sf's
/// st_centroid's with spherical geometry off); the mean of its vertices
/// when it has no area. Empty bounds (no vertex) give (NaN, NaN).
MapPoint CentroidOf(const RegionShape& region);

/// The great-circle distance between two points given as (longitude,
/// latitude) in degrees, in kilometres on a sphere of radius 6371 km.
double GreatCircleKm(MapPoint a, MapPoint b);

/// Each point's `k` nearest others: by great-circle distance when
/// `geographic` (points in degrees), by planar distance otherwise; a tie
/// goes to the earlier point. False, with the reason, when k is 0 or not
/// below the number of points, or a point is not finite.
bool NearestNeighbours(std::span<const MapPoint> points, std::size_t k, bool geographic,
                       NeighbourLists* lists, std::string* error);

/// A GAL or GWT file as read, joined to a list of ids.
struct NeighbourFile {
  NeighbourLists Lists;              // over the ids given, in their order
  std::vector<std::size_t> Absent;   // positions of given ids the file does not list
  std::vector<std::string> Unknown;  // the file's ids not among those given, first seen first
};

/// Reads GeoDa's GAL text: a header line ("n", or "0 n layer id-field"),
/// then per region a line "id k" and, when k > 0, a line of its k
/// neighbours' ids. Blank lines are skipped; a region listed as its own
/// neighbour is not its own neighbour. Neighbours whose id is not in
/// `ids` are left out (their ids in Unknown). False for a malformed file,
/// `error` naming `file_name` and the line.
bool ReadGal(std::string_view text, std::string_view file_name,
             std::span<const std::string> ids, NeighbourFile* file, std::string* error);

/// Reads GeoDa's GWT text: a header line as GAL's, then lines "from to
/// weight". Only the pairs count; the weights must be numbers but are not
/// kept. A GWT file names no region without a neighbour, so Absent holds
/// the islands as well as regions the file does not cover. As ReadGal
/// otherwise.
bool ReadGwt(std::string_view text, std::string_view file_name,
             std::span<const std::string> ids, NeighbourFile* file, std::string* error);

/// The GAL text of `lists` over `ids`, GeoDa's header naming `layer` and
/// `id_field`.
std::string GalText(std::span<const std::string> ids, const NeighbourLists& lists,
                    std::string_view layer, std::string_view id_field);

/// The positions of the regions without a neighbour.
std::vector<std::size_t> Islands(const NeighbourLists& lists);

/// How the neighbours are chosen (--neighbours).
struct NeighbourChoice {
  enum class Kind { kQueen, kRook, kKnn, kGal, kGwt };
  Kind Source = Kind::kQueen;
  std::size_t K = 0;      // kKnn
  std::string FileName;   // kGal, kGwt
};

/// Reads "queen", "rook", "knn:K" (K a whole number from 1) or a file name
/// ending in .gal or .gwt (any case). False, with what is allowed, else.
bool ParseNeighbourChoice(std::string_view text, NeighbourChoice* choice, std::string* error);

/// Reads a text of centroids: a header line naming three comma-separated
/// columns, "id,x,y" (planar) or "id,lon,lat" (degrees: `*geographic` set),
/// then one line per region. False for anything else, naming the line.
bool ReadCentroids(std::string_view text, std::string_view file_name,
                   std::vector<std::string>* ids, std::vector<MapPoint>* points,
                   bool* geographic, std::string* error);

}  // namespace propsmooth

#endif  // PROPSMOOTH_GEO_NEIGHBOURS_H_
