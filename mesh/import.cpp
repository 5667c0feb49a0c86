#include "mesh/import.h"

#include <sys/stat.h>

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string_view>

#include "mesh/import_readers.h"
#include "mesh/mesh_file.h"

namespace plumfold {
namespace {

const char* const supportedFormats =
    "the supported formats are .asc, OBJ, STL (ASCII or binary), PLY (ASCII or binary), OFF, glTF 2.0 (.gltf, .glb)";

// Larger files are refused before they are read: no body of this scene needs
// one, and reading it whole would take that much memory.
constexpr long long largestFile = 1LL << 30;

std::string lowerExtension(const std::string& path) {
    const size_t dot = path.find_last_of('.');
    const size_t slash = path.find_last_of('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
    std::string extension = path.substr(dot + 1);
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return extension;
}

// The first white-space-separated word, skipping lines that begin with '#'.
std::string_view firstWord(std::string_view bytes) {
    size_t at = 0;
    while (at < bytes.size()) {
        while (at < bytes.size() && std::isspace(static_cast<unsigned char>(bytes[at]))) ++at;
        if (at < bytes.size() && bytes[at] == '#') {
            while (at < bytes.size() && bytes[at] != '\n') ++at;
            continue;
        }
        break;
    }
    size_t end = at;
    while (end < bytes.size() && !std::isspace(static_cast<unsigned char>(bytes[end]))) ++end;
    return bytes.substr(at, end - at);
}

bool startsWith(std::string_view bytes, std::string_view prefix) { return bytes.substr(0, prefix.size()) == prefix; }

// A line that begins with the record name (OBJ's "v " and "f ").
bool hasLineStarting(std::string_view bytes, std::string_view record) {
    for (size_t at = 0; at < bytes.size();) {
        if (startsWith(bytes.substr(at), record)) return true;
        at = bytes.find('\n', at);
        if (at == std::string_view::npos) break;
        ++at;
    }
    return false;
}

// Binary STL headers often begin with "solid" too; text has no NUL bytes.
bool looksBinary(std::string_view bytes) { return bytes.substr(0, 1024).find('\0') != std::string_view::npos; }

bool isBinaryStl(std::string_view bytes) {
    return detail::binaryStlSize(bytes) == bytes.size() || firstWord(bytes) != "solid" || looksBinary(bytes);
}

bool isOffKeyword(std::string_view word) {
    // OFF, COFF, NOFF, STOFF, 4OFF, nOFF and their combinations.
    return word.size() >= 3 && word.size() <= 8 && word.substr(word.size() - 3) == "OFF";
}

// The content decides where it can; the extension only where the content is
// ambiguous (a binary STL whose size does not match its count, a bare soup).
bool recogniseFormat(std::string_view bytes, const std::string& extension, MeshFormat& format) {
    const std::string_view word = firstWord(bytes);
    // NOLINTBEGIN(bugprone-branch-clone): the rules are tried in order; equal results stay apart
    if (startsWith(bytes, "glTF")) format = MeshFormat::Glb;
    else if (startsWith(bytes, "ply\n") || startsWith(bytes, "ply\r")) format = MeshFormat::Ply;
    else if (bytes.size() >= 84 && detail::binaryStlSize(bytes) == bytes.size()) format = MeshFormat::Stl;
    else if (word == "solid") format = MeshFormat::Stl;
    else if (isOffKeyword(word)) format = MeshFormat::Off;
    else if (!word.empty() && word[0] == '{') format = MeshFormat::Gltf;
    else if (extension == "asc" || (extension != "obj" && bytes.find("Vertices:") != std::string_view::npos))
        format = MeshFormat::Asc;
    else if (extension == "stl") format = MeshFormat::Stl;
    else if (extension == "obj" || (hasLineStarting(bytes, "v ") && hasLineStarting(bytes, "f ")))
        format = MeshFormat::Obj;
    else return false;
    // NOLINTEND(bugprone-branch-clone)
    return true;
}

// The program's own reader, for an .asc file handed to the importer. Its line
// is kept whole; the caller puts the file's name first, as for every format.
std::string readAscSoup(const std::string& path, PolygonSoup& soup) {
    MeshFileResult read = readMeshFile(path.c_str());
    if (!read.ok) return read.error;
    soup.points.assign(read.mesh.vertices.begin(), read.mesh.vertices.end());
    for (size_t j = 0; j + 2 < read.mesh.faceIndices.size(); j += 3)
        soup.polygons.push_back({read.mesh.faceIndices[j], read.mesh.faceIndices[j + 1], read.mesh.faceIndices[j + 2]});
    return "";
}

std::string readFile(const std::string& path, std::string& bytes) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0)
        return std::string("cannot open it (") + std::strerror(errno) + "); check the path";
    if (S_ISDIR(info.st_mode)) return "is a directory; give a mesh file";
    if (!S_ISREG(info.st_mode)) return "is not a regular file; give a mesh file";
    if (info.st_size > largestFile) return "is larger than 1 GiB; reduce the model before importing it";
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return std::string("cannot open it (") + std::strerror(errno) + "); check its permissions";
    bytes.resize(static_cast<size_t>(info.st_size));
    const size_t got = std::fread(bytes.data(), 1, bytes.size(), file);
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) return "cannot be read (input/output error); copy it to a readable disk";
    bytes.resize(got);  // a file that shrank while it was read
    return "";
}

// What every importer promises: finite coordinates, polygons of three or more
// corners, each index naming a point.
std::string checkSoup(const PolygonSoup& soup) {
    if (soup.polygons.empty()) return "the file has no faces; export the surface, not only its points";
    for (size_t i = 0; i < soup.points.size(); ++i) {
        if (!std::isfinite(soup.points[i])) {
            char text[160];
            std::snprintf(text, sizeof text, "point %zu has a coordinate that is not a finite number; repair the model",
                          i / 3);
            return text;
        }
    }
    const size_t pointCount = soup.points.size() / 3;
    for (size_t j = 0; j < soup.polygons.size(); ++j) {
        const std::vector<int32_t>& polygon = soup.polygons[j];
        char text[200];
        if (polygon.size() < 3) {
            std::snprintf(text, sizeof text, "face %zu has %zu corners, a face needs at least 3; repair the model", j,
                          polygon.size());
            return text;
        }
        for (int32_t index : polygon) {
            if (index < 0 || static_cast<size_t>(index) >= pointCount) {
                std::snprintf(text, sizeof text,
                              "face %zu uses point %d, but the file has %zu points (0 to %zu); repair the model", j,
                              index, pointCount, pointCount == 0 ? 0 : pointCount - 1);
                return text;
            }
        }
    }
    return "";
}

std::string readForeignSoup(const std::string& path, std::string_view bytes, MeshFormat format, PolygonSoup& soup) {
    switch (format) {
        case MeshFormat::Asc: return "";  // never: the program's own reader reads these
        case MeshFormat::Obj: return detail::readObjSoup(bytes, soup);
        case MeshFormat::Stl: return detail::readStlSoup(bytes, isBinaryStl(bytes), soup);
        case MeshFormat::Ply: return detail::readPlySoup(bytes, soup);
        case MeshFormat::Off: return detail::readOffSoup(bytes, soup);
        case MeshFormat::Gltf:
        case MeshFormat::Glb: break;
    }
    // A .gltf file's external buffers are looked up beside it.
    const size_t slash = path.find_last_of('/');
    const std::string directory = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    return detail::readGltfSoup(bytes, format == MeshFormat::Glb, directory, soup);
}

}  // namespace

bool detail::recogniseMeshFile(const std::string& path, MeshFormat& format) {
    std::string bytes;
    return readFile(path, bytes).empty() && !bytes.empty() && recogniseFormat(bytes, lowerExtension(path), format);
}

const char* formatName(MeshFormat format) {
    switch (format) {
        case MeshFormat::Asc: return "ASC";
        case MeshFormat::Obj: return "OBJ";
        case MeshFormat::Stl: return "STL";
        case MeshFormat::Ply: return "PLY";
        case MeshFormat::Off: return "OFF";
        case MeshFormat::Gltf: return "glTF";
        case MeshFormat::Glb: return "GLB";
    }
    return "unknown";
}

ImportResult importMesh(const std::string& path) {
    ImportResult result;
    auto fail = [&](const std::string& problem) {
        result.ok = false;
        result.soup = PolygonSoup{};
        result.error = path + ": " + problem;
        return result;
    };
    std::string bytes;
    if (std::string problem = readFile(path, bytes); !problem.empty()) return fail(problem);
    if (bytes.empty()) return fail("the file is empty; export the model again");
    const std::string extension = lowerExtension(path);
    if (!recogniseFormat(bytes, extension, result.format))
        return fail("the format is not recognised; " + std::string(supportedFormats));

    std::string problem;
    try {
        problem = result.format == MeshFormat::Asc ? readAscSoup(path, result.soup)
                                                   : readForeignSoup(path, bytes, result.format, result.soup);
    } catch (const std::exception& e) {
        // The readers' own checks come first; this keeps any failure they miss
        // (memory, a library's internal check) a refusal rather than a crash.
        problem = std::string("cannot be read (") + e.what() + "); export it again";
    }
    if (problem.empty()) problem = checkSoup(result.soup);
    if (!problem.empty()) return fail(std::string(formatName(result.format)) + ": " + problem);
    result.ok = true;
    return result;
}

namespace detail {

size_t binaryStlSize(std::string_view bytes) {
    if (bytes.size() < 84) return 0;
    uint32_t triangles = 0;  // little-endian, after the 80-byte header
    for (int k = 83; k >= 80; --k) triangles = triangles << 8 | static_cast<unsigned char>(bytes[k]);
    return 84 + 50 * static_cast<size_t>(triangles);
}

}  // namespace detail
}  // namespace plumfold
