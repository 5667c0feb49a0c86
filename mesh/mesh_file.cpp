#include "mesh/mesh_file.h"

#include <sys/stat.h>

#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

// The format's own error line. It ends the process with status 1: a file the
// program cannot use is a failure, not a success.
[[noreturn]] void failTruncated() {
    std::printf("Error with object file! \n");
    std::exit(1);
}

// One line that names the file and the problem, then exit status 1.
[[noreturn]] void rejectMesh(const char* fileName, const char* format, ...) {
    std::printf("Unusable mesh file %s: ", fileName);
    va_list args;
    va_start(args, format);
    std::vprintf(format, args);
    va_end(args);
    std::printf("\n");
    std::exit(1);
}

bool isFormatSpace(int c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Opens one pass over the file. A directory opens under "r" on some systems but
// holds no text, so it is treated like a file that cannot be opened.
std::FILE* openPass(const char* fileName) {
    std::FILE* file = std::fopen(fileName, "r");
    struct stat info {};
    if (file != nullptr && (fstat(fileno(file), &info) != 0 || S_ISDIR(info.st_mode))) {
        std::fclose(file);
        file = nullptr;
    }
    if (file == nullptr) {
        std::printf("Unable to open %s file.\n", fileName);
        std::exit(1);
    }
    return file;
}

// atoi's reading of a token (optional sign, decimal digits, the rest ignored),
// widened so that a value beyond 32 bits is seen rather than wrapped.
long long parseInteger(const char* text) {
    return std::strtoll(text, nullptr, 10);
}

// A record is a label and three value tokens, each at least one character and a
// separator, so a file of n bytes cannot hold more than n / 4 records.
long long recordLimit(std::FILE* file) {
    struct stat info {};
    if (fstat(fileno(file), &info) != 0) return INT32_MAX;
    return static_cast<long long>(info.st_size) / 4 + 1;
}

// A value token is two prefix characters, not examined, then the number.
const char* valueText(const std::string& token) {
    return token.size() > 2 ? token.c_str() + 2 : "";
}

// One pass over the file, read into memory at once so that a large mesh loads
// at disk speed. It scans exactly as the stream functions below do: the same
// look-ahead before every token, the same white space, the same failures.
class PassText {
public:
    PassText(const char* fileName) {
        std::FILE* file = openPass(fileName);
        struct stat info {};
        size_ = fstat(fileno(file), &info) == 0 ? static_cast<long long>(info.st_size) : -1;
        char chunk[1 << 16];
        size_t got;
        // A read error ends the text where it happened, as it ends getc.
        while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) text_.append(chunk, got);
        std::fclose(file);
    }

    // recordLimit() of the stream reader: a file of n bytes holds at most n / 4 records.
    long long recordLimit() const { return size_ < 0 ? INT32_MAX : size_ / 4 + 1; }

    // requireMoreInput, then one white-space-separated token.
    std::string_view token() {
        if (at_ >= text_.size()) failTruncated();
        while (at_ < text_.size() && isFormatSpace(static_cast<unsigned char>(text_[at_]))) ++at_;
        // Only white space was left where a token is needed: the file ended early.
        if (at_ >= text_.size()) failTruncated();
        const size_t start = at_;
        while (at_ < text_.size() && !isFormatSpace(static_cast<unsigned char>(text_[at_]))) ++at_;
        return std::string_view(text_).substr(start, at_ - start);
    }

    void skipTo(std::string_view keyword) {
        while (token() != keyword) {
        }
    }

private:
    std::string text_;
    size_t at_ = 0;
    long long size_ = 0;
};

// MeshFile::readCount() over a pass in memory.
int32_t readPassCount(PassText& text, const char* fileName, const char* keyword) {
    text.skipTo(keyword);
    const std::string token(text.token());
    long long count = parseInteger(token.c_str());
    // A count of zero or less means no records.
    if (count <= 0) return count < INT32_MIN ? INT32_MIN : static_cast<int32_t>(count);
    long long limit = text.recordLimit();
    if (count > INT32_MAX || count > limit) {
        rejectMesh(fileName, "the count \"%.40s\" after \"%s\" is more records than this file can hold (at most %lld); "
                             "correct the count to the number of records",
                   token.c_str(), keyword, limit);
    }
    return static_cast<int32_t>(count);
}

// "%d:", the label of record j.
std::string_view label(int32_t j, char (&buffer)[16]) {
    int length = std::snprintf(buffer, sizeof buffer, "%d:", j);
    return std::string_view(buffer, static_cast<size_t>(length));
}

}  // namespace

void requireMoreInput(std::FILE* file) {
    int c = std::getc(file);
    if (c == EOF) failTruncated();
    std::ungetc(c, file);
}

void MeshFile::readToken(std::FILE* file, std::string& destination) {
    requireMoreInput(file);
    int c = std::getc(file);
    while (c != EOF && isFormatSpace(c)) c = std::getc(file);
    // Only white space was left where a token is needed: the file ended early.
    if (c == EOF) failTruncated();
    destination.clear();
    while (c != EOF && !isFormatSpace(c)) {
        destination.push_back(static_cast<char>(c));
        c = std::getc(file);
    }
    if (c != EOF) std::ungetc(c, file);
}

void MeshFile::skipTo(std::FILE* file, const char* keyword) {
    std::string token;
    do {
        readToken(file, token);
    } while (token != keyword);
}

int32_t MeshFile::readCount(std::FILE* file, const char* keyword) {
    skipTo(file, keyword);
    std::string token;
    readToken(file, token);
    long long count = parseInteger(token.c_str());
    // A count of zero or less means no records.
    if (count <= 0) return count < INT32_MIN ? INT32_MIN : static_cast<int32_t>(count);
    long long limit = recordLimit(file);
    if (count > INT32_MAX || count > limit) {
        rejectMesh(fileName, "the count \"%.40s\" after \"%s\" is more records than this file can hold (at most %lld); "
                             "correct the count to the number of records",
                   token.c_str(), keyword, limit);
    }
    return static_cast<int32_t>(count);
}

void MeshFile::readVertices() {
    PassText text(fileName);
    vertexCount = readPassCount(text, fileName, "Vertices:");
    vertices.assign(vertexCount > 0 ? 3 * static_cast<size_t>(vertexCount) : 0, 0.0f);
    text.skipTo("Vertex");
    text.skipTo("List:");
    std::string value;
    char buffer[16];
    for (int32_t j = 0; j < vertexCount; ++j) {
        text.skipTo(label(j, buffer));
        for (int k = 0; k < 3; ++k) {
            value = text.token();  // a NUL-terminated copy for atof
            float coordinate = static_cast<float>(std::atof(valueText(value)));
            if (!std::isfinite(coordinate)) {
                rejectMesh(fileName, "vertex %d has coordinate \"%.40s\", which is not a finite 32-bit number",
                           j, value.c_str());
            }
            vertices[3 * static_cast<size_t>(j) + k] = coordinate;
        }
    }
}

void MeshFile::readFaces() {
    PassText text(fileName);
    faceCount = readPassCount(text, fileName, "Faces:");
    faceIndices.assign(faceCount > 0 ? 3 * static_cast<size_t>(faceCount) : 0, 0);
    text.skipTo("Face");
    text.skipTo("list:");
    std::string value;
    char buffer[16];
    for (int32_t j = 0; j < faceCount; ++j) {
        text.skipTo(label(j, buffer));
        for (int k = 0; k < 3; ++k) {
            value = text.token();
            long long index = parseInteger(valueText(value));
            if (index < INT32_MIN || index > INT32_MAX) {
                rejectMesh(fileName, "face %d has vertex index %.40s, which is outside any vertex range",
                           j, valueText(value));
            }
            faceIndices[3 * static_cast<size_t>(j) + k] = static_cast<int32_t>(index);
        }
    }
}

void MeshFile::requireUsable() const {
    if (vertexCount < 2) {
        rejectMesh(fileName, "it has %d vertices, but a body needs at least two (the drag spring holds vertex 1)",
                   vertexCount);
    }
    for (int32_t j = 0; j < faceCount; ++j) {
        for (int k = 0; k < 3; ++k) {
            int32_t index = faceIndices[3 * static_cast<size_t>(j) + k];
            if (index < 0 || index >= vertexCount) {
                rejectMesh(fileName, "face %d uses vertex index %d, outside 0 to %d (the file has %d vertices)",
                           j, index, vertexCount - 1, vertexCount);
            }
        }
    }
}
