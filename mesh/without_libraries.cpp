// The mesh library as cross builds make it (PLUMFOLD_FOREIGN_FORMATS=OFF): the
// program's own format and OFF, read by readers of ours, but none of the formats
// that need CGAL or tinygltf, and no preparing, as those libraries are not
// there for the target. Each entry point says so in the usual one line.
#include "mesh/import_readers.h"
#include "mesh/prepare.h"

namespace plumfold {
namespace {
const char* const notInThisBuild =
    "this build of Plumfold was made without CGAL and tinygltf; convert the model with a native "
    "plumfold-mesh (plumfold-mesh prepare MODEL -o BODY.asc)";
}  // namespace

namespace detail {
std::string readObjSoup(std::string_view, PolygonSoup&) { return notInThisBuild; }
std::string readStlSoup(std::string_view, bool, PolygonSoup&) { return notInThisBuild; }
std::string readPlySoup(std::string_view, PolygonSoup&) { return notInThisBuild; }
std::string readGltfSoup(std::string_view, bool, const std::string&, PolygonSoup&) { return notInThisBuild; }
}  // namespace detail

PrepareResult prepareBody(const PolygonSoup&, const PrepareOptions&) {
    PrepareResult result;
    result.error = notInThisBuild;
    return result;
}

}  // namespace plumfold
