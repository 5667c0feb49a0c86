// glTF 2.0 (.gltf JSON and .glb) through tinygltf: every triangle primitive of
// every mesh that a node of the scene uses, placed by the node transforms.
// tinygltf parses the JSON and the buffers but does not check that accessors
// stay inside their buffers, so every access is bounded here first.
#include <sys/stat.h>
#include <tiny_gltf.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "mesh/import_readers.h"

namespace plumfold::detail {
namespace {

using Matrix = std::array<double, 16>;  // column-major, as glTF stores it

constexpr Matrix identity = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
// A mesh placed by many nodes multiplies its points; no body needs this many.
constexpr size_t largestPointCount = size_t{1} << 24;
constexpr long long largestBuffer = 1LL << 30;

Matrix multiply(const Matrix& a, const Matrix& b) {
    Matrix m{};
    for (int column = 0; column < 4; ++column) {
        for (int row = 0; row < 4; ++row) {
            double sum = 0.0;
            for (int k = 0; k < 4; ++k) sum += a[4 * k + row] * b[4 * column + k];
            m[4 * column + row] = sum;
        }
    }
    return m;
}

// The node's own transform: its matrix, or translation × rotation × scale.
Matrix localTransform(const tinygltf::Node& node) {
    if (node.matrix.size() == 16) {
        Matrix m;
        for (int i = 0; i < 16; ++i) m[i] = node.matrix[i];
        return m;
    }
    Matrix t = identity, r = identity, s = identity;
    if (node.translation.size() == 3)
        for (int i = 0; i < 3; ++i) t[12 + i] = node.translation[i];
    if (node.scale.size() == 3)
        for (size_t i = 0; i < 3; ++i) s[5 * i] = node.scale[i];
    if (node.rotation.size() == 4) {
        const double x = node.rotation[0], y = node.rotation[1], z = node.rotation[2], w = node.rotation[3];
        // clang-format off
        r = {1 - 2 * (y * y + z * z), 2 * (x * y + z * w),     2 * (x * z - y * w),     0,
             2 * (x * y - z * w),     1 - 2 * (x * x + z * z), 2 * (y * z + x * w),     0,
             2 * (x * z + y * w),     2 * (y * z - x * w),     1 - 2 * (x * x + y * y), 0,
             0,                       0,                       0,                       1};
        // clang-format on
    }
    return multiply(t, multiply(r, s));
}

// Where an accessor's elements are, once it is known that every one of them
// lies inside its buffer.
struct View {
    const unsigned char* data = nullptr;
    size_t count = 0;
    size_t stride = 0;
};

std::string accessorView(const tinygltf::Model& model, int index, int componentSize, int components, View& view) {
    if (index < 0 || static_cast<size_t>(index) >= model.accessors.size()) return "an accessor index is out of range";
    const tinygltf::Accessor& accessor = model.accessors[static_cast<size_t>(index)];
    if (accessor.sparse.isSparse) return "sparse accessors are not supported; export without sparse data";
    if (accessor.bufferView < 0 || static_cast<size_t>(accessor.bufferView) >= model.bufferViews.size())
        return "an accessor has no buffer view; export with the geometry in buffers";
    const tinygltf::BufferView& bufferView = model.bufferViews[static_cast<size_t>(accessor.bufferView)];
    if (bufferView.buffer < 0 || static_cast<size_t>(bufferView.buffer) >= model.buffers.size())
        return "a buffer view names a buffer that does not exist";
    const std::vector<unsigned char>& buffer = model.buffers[static_cast<size_t>(bufferView.buffer)].data;
    const size_t elementSize = static_cast<size_t>(componentSize) * static_cast<size_t>(components);
    const size_t stride = bufferView.byteStride == 0 ? elementSize : bufferView.byteStride;
    const size_t viewEnd = bufferView.byteOffset + bufferView.byteLength;
    const size_t count = accessor.count;
    if (viewEnd < bufferView.byteOffset || viewEnd > buffer.size() || stride < elementSize ||
        accessor.byteOffset > bufferView.byteLength ||
        (count > 0 && (count - 1 > (bufferView.byteLength - accessor.byteOffset) / stride ||
                       (count - 1) * stride + elementSize > bufferView.byteLength - accessor.byteOffset)))
        return "an accessor reaches beyond its buffer; the file is truncated or corrupt, export it again";
    view.data = buffer.data() + bufferView.byteOffset + accessor.byteOffset;
    view.count = count;
    view.stride = stride;
    return "";
}

std::string readIndices(const tinygltf::Model& model, const tinygltf::Primitive& primitive, size_t vertexCount,
                        std::vector<uint32_t>& indices) {
    if (primitive.indices < 0) {
        for (size_t i = 0; i < vertexCount; ++i) indices.push_back(static_cast<uint32_t>(i));
        return "";
    }
    const int type = model.accessors.size() > static_cast<size_t>(primitive.indices)
                         ? model.accessors[static_cast<size_t>(primitive.indices)].componentType
                         : -1;
    const int size = type == TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE    ? 1
                     : type == TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT ? 2
                     : type == TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT   ? 4
                                                                      : 0;
    if (size == 0) return "indices must be unsigned bytes, shorts or ints";
    View view;
    if (std::string problem = accessorView(model, primitive.indices, size, 1, view); !problem.empty()) return problem;
    indices.reserve(view.count);
    for (size_t i = 0; i < view.count; ++i) {
        uint32_t value = 0;
        std::memcpy(&value, view.data + i * view.stride, static_cast<size_t>(size));  // little-endian data and host
        if (value >= vertexCount) return "an index names a vertex beyond its primitive's positions";
        indices.push_back(value);
    }
    return "";
}

std::string addPrimitive(const tinygltf::Model& model, const tinygltf::Primitive& primitive, const Matrix& m,
                         PolygonSoup& soup) {
    const int mode = primitive.mode < 0 ? TINYGLTF_MODE_TRIANGLES : primitive.mode;
    if (mode != TINYGLTF_MODE_TRIANGLES && mode != TINYGLTF_MODE_TRIANGLE_STRIP && mode != TINYGLTF_MODE_TRIANGLE_FAN)
        return "";  // points and lines have no surface
    const auto position = primitive.attributes.find("POSITION");
    if (position == primitive.attributes.end()) return "a triangle primitive has no POSITION attribute";
    if (position->second < 0 || static_cast<size_t>(position->second) >= model.accessors.size())
        return "an accessor index is out of range";
    const tinygltf::Accessor& accessor = model.accessors[static_cast<size_t>(position->second)];
    if (accessor.componentType != TINYGLTF_COMPONENT_TYPE_FLOAT || accessor.type != TINYGLTF_TYPE_VEC3)
        return "positions must be three 32-bit floats";
    View view;
    if (std::string problem = accessorView(model, position->second, 4, 3, view); !problem.empty()) return problem;
    std::vector<uint32_t> indices;
    if (std::string problem = readIndices(model, primitive, view.count, indices); !problem.empty()) return problem;

    const size_t first = soup.points.size() / 3;
    if (first + view.count > largestPointCount)
        return "the scene places more than " + std::to_string(largestPointCount) + " points; reduce the model first";
    for (size_t i = 0; i < view.count; ++i) {
        float p[3];
        std::memcpy(p, view.data + i * view.stride, sizeof p);
        for (int row = 0; row < 3; ++row)
            soup.points.push_back(m[row] * p[0] + m[4 + row] * p[1] + m[8 + row] * p[2] + m[12 + row]);
    }
    auto corner = [&](size_t k) { return static_cast<int32_t>(first + indices[k]); };
    if (mode == TINYGLTF_MODE_TRIANGLES) {
        for (size_t k = 0; k + 2 < indices.size(); k += 3)
            soup.polygons.push_back({corner(k), corner(k + 1), corner(k + 2)});
    } else if (mode == TINYGLTF_MODE_TRIANGLE_STRIP) {
        // Every other triangle of a strip runs the other way round.
        for (size_t k = 0; k + 2 < indices.size(); ++k) {
            if (k % 2 == 0) soup.polygons.push_back({corner(k), corner(k + 1), corner(k + 2)});
            else soup.polygons.push_back({corner(k + 1), corner(k), corner(k + 2)});
        }
    } else {
        for (size_t k = 1; k + 1 < indices.size(); ++k) soup.polygons.push_back({corner(0), corner(k), corner(k + 1)});
    }
    return "";
}

// Walks the node trees from the roots. A node reached twice (glTF allows one
// parent per node) would repeat its geometry or loop for ever, so it is refused.
std::string addNodes(const tinygltf::Model& model, const std::vector<int>& roots, PolygonSoup& soup) {
    std::vector<bool> reached(model.nodes.size(), false);
    std::vector<std::pair<int, Matrix>> pending;
    for (auto root = roots.rbegin(); root != roots.rend(); ++root) pending.emplace_back(*root, identity);
    while (!pending.empty()) {
        const auto [index, parent] = pending.back();
        pending.pop_back();
        if (index < 0 || static_cast<size_t>(index) >= model.nodes.size()) return "a node index is out of range";
        if (reached[static_cast<size_t>(index)]) return "a node is used twice or in a cycle; export it again";
        reached[static_cast<size_t>(index)] = true;
        const tinygltf::Node& node = model.nodes[static_cast<size_t>(index)];
        const Matrix m = multiply(parent, localTransform(node));
        if (node.mesh >= 0) {
            if (static_cast<size_t>(node.mesh) >= model.meshes.size()) return "a node names a mesh that does not exist";
            for (const tinygltf::Primitive& primitive : model.meshes[static_cast<size_t>(node.mesh)].primitives)
                if (std::string problem = addPrimitive(model, primitive, m, soup); !problem.empty()) return problem;
        }
        for (auto child = node.children.rbegin(); child != node.children.rend(); ++child)
            pending.emplace_back(*child, m);
    }
    return "";
}

// Images are never needed for the shape, so they are not decoded.
bool skipImage(tinygltf::Image*, const int, std::string*, std::string*, int, int, const unsigned char*, int, void*) {
    return true;
}

bool regularFileExists(const std::string& path, void*) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// Paths are used as written: no shell expansion of names taken from a file.
std::string pathAsWritten(const std::string& path, void*) { return path; }

// A buffer file is read only when it is a regular file of sensible size, so a
// name such as /dev/zero cannot make the import hang or fill the memory.
bool readBufferFile(std::vector<unsigned char>* out, std::string* error, const std::string& path, void*) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_size > largestBuffer) {
        if (error != nullptr) *error += "buffer file '" + path + "' is missing or not a regular file. ";
        return false;
    }
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return false;
    out->resize(static_cast<size_t>(info.st_size));
    const size_t got = std::fread(out->data(), 1, out->size(), file);
    std::fclose(file);
    out->resize(got);
    return true;
}

bool refuseWrite(std::string*, const std::string&, const std::vector<unsigned char>&, void*) { return false; }

// tinygltf's messages can be long and span lines: keep the first line, shortened.
std::string firstLine(const std::string& text) {
    std::string line = text.substr(0, text.find_first_of("\r\n"));
    if (line.size() > 160) line = line.substr(0, 160) + "...";
    return line;
}

}  // namespace

std::string readGltfSoup(std::string_view bytes, bool binary, const std::string& baseDirectory, PolygonSoup& soup) {
    tinygltf::TinyGLTF loader;
    loader.SetImageLoader(skipImage, nullptr);
    loader.SetFsCallbacks({regularFileExists, pathAsWritten, readBufferFile, refuseWrite, nullptr});
    tinygltf::Model model;
    std::string error, warning;
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    const bool loaded = binary ? loader.LoadBinaryFromMemory(&model, &error, &warning, data,
                                                             static_cast<unsigned int>(bytes.size()), baseDirectory)
                               : loader.LoadASCIIFromString(&model, &error, &warning, bytes.data(),
                                                            static_cast<unsigned int>(bytes.size()), baseDirectory);
    if (!loaded) return "not valid glTF 2.0 (" + firstLine(error) + "); export it again";

    // The default scene, or every scene's root nodes when none is named.
    std::vector<int> roots;
    if (model.defaultScene >= 0 && static_cast<size_t>(model.defaultScene) < model.scenes.size()) {
        roots = model.scenes[static_cast<size_t>(model.defaultScene)].nodes;
    } else {
        for (const tinygltf::Scene& scene : model.scenes)
            roots.insert(roots.end(), scene.nodes.begin(), scene.nodes.end());
    }
    return addNodes(model, roots, soup);
}

}  // namespace plumfold::detail
