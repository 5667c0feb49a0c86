#include <map>
#include <string>

#include "mesh/prepare.h"

namespace plumfold {

bool parseAxis(const std::string& text, Axis& axis) {
    static const std::map<std::string, Axis> names = {{"x", Axis::PlusX}, {"+x", Axis::PlusX}, {"-x", Axis::MinusX},
                                                      {"y", Axis::PlusY}, {"+y", Axis::PlusY}, {"-y", Axis::MinusY},
                                                      {"z", Axis::PlusZ}, {"+z", Axis::PlusZ}, {"-z", Axis::MinusZ}};
    auto found = names.find(text);
    if (found == names.end()) return false;
    axis = found->second;
    return true;
}

}  // namespace plumfold
