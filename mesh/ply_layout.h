#pragma once
// A walk over a PLY file's header and data that reads no values, only sizes.
//
// CGAL's PLY reader loops over each element count the header states and sizes
// each list from the count in the data before reading its items, so a file of
// a few bytes could make it loop for hours or allocate gigabytes. This walk
// proves first that every element and every list fits in the bytes that
// follow; it is not a second reader, the values are read by CGAL.
#include <string>
#include <string_view>

namespace plumfold::detail {

// Empty when the layout fits the file, else the problem and its fix.
std::string checkPlyLayout(std::string_view bytes);

}  // namespace plumfold::detail
