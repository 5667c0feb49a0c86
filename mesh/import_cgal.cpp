// OBJ, STL and PLY through CGAL's polygon-soup readers. CGAL trusts the counts
// a file states (PLY allocates from them, binary STL loops on its header's
// count), so each reader is guarded first by checks that bound every count by
// the bytes that could hold it.
#include <CGAL/IO/OBJ.h>
#include <CGAL/IO/PLY.h>
#include <CGAL/IO/STL.h>
#include <CGAL/Simple_cartesian.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <streambuf>
#include <string>
#include <vector>

#include "mesh/import_readers.h"
#include "mesh/ply_layout.h"

namespace plumfold::detail {
namespace {

using Point = CGAL::Simple_cartesian<double>::Point_3;

// A library does not print: some readers report on standard error by default.
const auto quiet = CGAL::parameters::verbose(false);

// The bytes as a seekable input stream, without a copy.
class MemoryBuffer : public std::streambuf {
public:
    explicit MemoryBuffer(std::string_view bytes) {
        char* begin = const_cast<char*>(bytes.data());
        setg(begin, begin, begin + bytes.size());
    }

protected:
    pos_type seekoff(off_type offset, std::ios_base::seekdir way, std::ios_base::openmode) override {
        const off_type base = way == std::ios_base::beg   ? 0
                              : way == std::ios_base::cur ? gptr() - eback()
                                                          : egptr() - eback();
        return seekpos(pos_type(base + offset), std::ios_base::in);
    }
    pos_type seekpos(pos_type position, std::ios_base::openmode) override {
        const off_type at = off_type(position);
        if (at < 0 || at > egptr() - eback()) return pos_type(off_type(-1));
        setg(eback(), eback() + at, egptr());
        return position;
    }
};

// Converts CGAL's soup; an index beyond 32 bits becomes -1, which the common
// check reports as out of range.
template <typename Polygons>
void takeSoup(const std::vector<Point>& points, const Polygons& polygons, PolygonSoup& soup) {
    soup.points.reserve(3 * points.size());
    for (const Point& p : points) soup.points.insert(soup.points.end(), {p.x(), p.y(), p.z()});
    soup.polygons.reserve(polygons.size());
    for (const auto& polygon : polygons) {
        std::vector<int32_t>& corners = soup.polygons.emplace_back();
        corners.reserve(polygon.size());
        for (std::size_t index : polygon)
            corners.push_back(index <= static_cast<std::size_t>(INT32_MAX) ? static_cast<int32_t>(index) : -1);
    }
}

}  // namespace

std::string readObjSoup(std::string_view bytes, PolygonSoup& soup) {
    MemoryBuffer buffer(bytes);
    std::istream in(&buffer);
    std::vector<Point> points;
    std::vector<std::vector<std::size_t>> polygons;
    if (!CGAL::IO::read_OBJ(in, points, polygons, quiet)) {
        if (polygons.empty() && !in.bad()) return "the file has no faces (\"f\" lines); export the surface";
        return "a line is not OBJ, a vertex (\"v x y z\") does not hold three numbers, or a face names a vertex "
               "that does not exist; repair or re-export the file";
    }
    takeSoup(points, polygons, soup);
    return "";
}

std::string readStlSoup(std::string_view bytes, bool binary, PolygonSoup& soup) {
    std::vector<Point> points;
    std::vector<std::array<std::size_t, 3>> triangles;
    if (binary) {
        const size_t expected = binaryStlSize(bytes);
        if (expected == 0) return "the file is too short for a binary STL header (84 bytes); export it again";
        if (bytes.size() < expected) {
            return "binary STL of " + std::to_string((expected - 84) / 50) + " triangles needs " +
                   std::to_string(expected) + " bytes but the file has " + std::to_string(bytes.size()) +
                   "; the file is truncated, export it again";
        }
        // CGAL merges equal corners in an ordered map, where a NaN would compare
        // equal to anything and vanish: look at every corner first.
        for (size_t at = 84; at + 50 <= expected; at += 50) {
            for (size_t k = 3; k < 12; ++k) {
                float value;
                std::memcpy(&value, bytes.data() + at + 4 * k, sizeof value);
                if (!std::isfinite(value)) {
                    return "triangle " + std::to_string((at - 84) / 50) +
                           " has a corner coordinate that is not a finite number; repair the model";
                }
            }
        }
        // The 80-byte header is free text; one that begins with "solid" would
        // make CGAL try the ASCII reader on binary data first.
        std::string copy(bytes.substr(0, expected));
        copy[0] = ' ';
        MemoryBuffer buffer(copy);
        std::istream in(&buffer);
        if (!CGAL::IO::read_STL(in, points, triangles, quiet)) return "the binary STL cannot be read; export it again";
    } else {
        MemoryBuffer buffer(bytes);
        std::istream in(&buffer);
        if (!CGAL::IO::internal::parse_ASCII_STL(in, points, triangles, false)) {
            return "ASCII STL must be \"solid\", facets of \"vertex x y z\" three times, and \"endsolid\"; "
                   "the file is truncated or malformed, export it again";
        }
    }
    takeSoup(points, triangles, soup);
    return "";
}

std::string readPlySoup(std::string_view bytes, PolygonSoup& soup) {
    if (std::string problem = checkPlyLayout(bytes); !problem.empty()) return problem;
    MemoryBuffer buffer(bytes);
    std::istream in(&buffer);
    std::vector<Point> points;
    std::vector<std::vector<std::size_t>> polygons;
    if (!CGAL::IO::read_PLY(in, points, polygons, quiet))
        return "the PLY data cannot be read (needs a vertex element with x, y, z and a face element with "
               "vertex_indices); export it again";
    takeSoup(points, polygons, soup);
    return "";
}

}  // namespace plumfold::detail
