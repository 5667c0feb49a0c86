#include "mesh/ply_layout.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <vector>

namespace plumfold::detail {
namespace {

struct Property {
    std::string name;
    int size = 0;       // bytes of a scalar, or of a list's items
    int countSize = 0;  // bytes of a list's count; 0 for a scalar
    bool countSigned = false;
    bool isFloat = false;     // float or double scalar
    bool itemsFloat = false;  // a list of floats or doubles
    bool isUint32 = false;
};

struct Element {
    std::string name;
    unsigned long long count = 0;
    std::vector<Property> properties;
};

// The type names CGAL accepts, and their sizes; 0 for an unknown name.
int typeSize(const std::string& type, bool* isSigned = nullptr, bool* isFloat = nullptr) {
    struct Type {
        const char* name;
        const char* alias;
        int size;
        bool isSigned;
        bool isFloat;
    };
    static const Type types[] = {{"char", "int8", 1, true, false},    {"uchar", "uint8", 1, false, false},
                                 {"short", "int16", 2, true, false},  {"ushort", "uint16", 2, false, false},
                                 {"int", "int32", 4, true, false},    {"uint", "uint32", 4, false, false},
                                 {"float", "float32", 4, true, true}, {"double", "float64", 8, true, true}};
    for (const Type& t : types) {
        if (type == t.name || type == t.alias) {
            if (isSigned != nullptr) *isSigned = t.isSigned;
            if (isFloat != nullptr) *isFloat = t.isFloat;
            return t.size;
        }
    }
    return 0;
}

std::string parseHeader(std::string_view bytes, size_t& dataStart, int& format, std::vector<Element>& elements) {
    size_t at = 0;
    int lineNumber = 0;
    while (at < bytes.size()) {
        size_t end = bytes.find('\n', at);
        if (end == std::string_view::npos) end = bytes.size();
        std::istringstream line{std::string(bytes.substr(at, end - at))};
        at = end + 1;
        ++lineNumber;
        std::string keyword;
        line >> keyword;
        if (lineNumber == 1) continue;  // "ply", seen by the caller
        const std::string where = "header line " + std::to_string(lineNumber);
        if (lineNumber == 2) {
            std::string name;
            line >> name;
            format = name == "ascii" ? 0 : name == "binary_little_endian" ? 1 : name == "binary_big_endian" ? 2 : -1;
            if (keyword != "format" || format < 0)
                return where + " must be \"format ascii|binary_little_endian|binary_big_endian 1.0\"";
        } else if (keyword == "end_header") {
            dataStart = std::min(at, bytes.size());  // the file may end on the header
            return "";
        } else if (keyword == "element") {
            std::string name, count;
            line >> name >> count;
            char* stop = nullptr;
            const unsigned long long value = std::strtoull(count.c_str(), &stop, 10);
            if (count.empty() || !std::isdigit(static_cast<unsigned char>(count[0])) || *stop != '\0')
                return where + " must be \"element NAME COUNT\"";
            elements.push_back({name, value, {}});
        } else if (keyword == "property") {
            if (elements.empty()) return where + " gives a property before any element";
            Property p;
            std::string type;
            line >> type >> p.name;
            if (type == "list") {
                std::string countType = p.name, itemType;
                line >> itemType >> p.name;
                bool countFloat = true;
                p.countSize = typeSize(countType, &p.countSigned, &countFloat);
                p.size = typeSize(itemType, nullptr, &p.itemsFloat);
                if (p.countSize == 0 || countFloat || p.size == 0)
                    return where + ": a list needs an integer count type and a known item type";
            } else {
                p.size = typeSize(type, nullptr, &p.isFloat);
                if (p.size == 0) return where + ": unknown property type \"" + type.substr(0, 20) + "\"";
                p.isUint32 = type == "uint" || type == "uint32";
            }
            elements.back().properties.push_back(p);
        }
    }
    return "the header has no \"end_header\" line";
}

// CGAL looks up these properties by name and type and does not cope with any
// other type under the same name.
std::string checkPropertyTypes(const Element& e) {
    for (const Property& p : e.properties) {
        const bool coordinate = p.name == "x" || p.name == "y" || p.name == "z";
        const bool halfedgeEnd = p.name == "source" || p.name == "target";
        if ((e.name == "vertex" || e.name == "vertices") && coordinate && (p.countSize != 0 || !p.isFloat))
            return "vertex property \"" + p.name + "\" must be float or double";
        if (e.name == "halfedge" && halfedgeEnd && (p.countSize != 0 || !p.isUint32))
            return "halfedge property \"" + p.name + "\" must be uint";
    }
    if (e.count > 0 && e.properties.empty())
        return "element \"" + e.name.substr(0, 20) + "\" has " + std::to_string(e.count) + " items but no properties";
    return "";
}

// A list count as CGAL will read it, or -1 when it is negative or malformed.
long long binaryCount(const char* at, const Property& p, bool bigEndian) {
    unsigned long long raw = 0;
    for (int k = 0; k < p.countSize; ++k) {
        const int byte = bigEndian ? k : p.countSize - 1 - k;
        raw = raw << 8 | static_cast<unsigned char>(at[byte]);
    }
    if (p.countSigned && (raw >> (8 * p.countSize - 1)) != 0) return -1;
    return static_cast<long long>(raw);
}

// CGAL reads ASCII values with the stream operators, which stop inside a
// token at the first character that does not fit ("12-5" is 12, then -5).
// Only tokens that a stream reads whole keep its reading in step with this walk.
bool wholeNumber(std::string_view token, bool floating) {
    size_t at = token[0] == '-' || token[0] == '+' ? 1 : 0;
    if (at == token.size()) return false;
    if (!floating) {
        for (; at < token.size(); ++at)
            if (!std::isdigit(static_cast<unsigned char>(token[at]))) return false;
        return true;
    }
    for (char c : token)
        if (!std::isdigit(static_cast<unsigned char>(c)) && c != '.' && c != 'e' && c != 'E' && c != '-' && c != '+')
            return false;
    const std::string text(token);
    char* stop = nullptr;
    std::strtod(text.c_str(), &stop);
    return *stop == '\0';
}

class Tokens {
public:
    explicit Tokens(std::string_view text) : text_(text) {}
    bool next(std::string_view& token) {
        while (at_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[at_]))) ++at_;
        if (at_ >= text_.size()) return false;
        const size_t start = at_;
        while (at_ < text_.size() && !std::isspace(static_cast<unsigned char>(text_[at_]))) ++at_;
        token = text_.substr(start, at_ - start);
        return true;
    }
    // Tokens cannot be more than the characters left, halved.
    size_t mostLeft() const { return (text_.size() - at_ + 1) / 2; }

private:
    std::string_view text_;
    size_t at_ = 0;
};

std::string notANumber(const Element& e, std::string_view token) {
    return "element \"" + e.name.substr(0, 20) + "\" holds \"" + std::string(token.substr(0, 20)) +
           "\" where a number of its declared type belongs";
}

std::string walkAscii(std::string_view data, const std::vector<Element>& elements) {
    Tokens tokens(data);
    std::string_view token;
    for (const Element& e : elements) {
        if (e.count > tokens.mostLeft())
            return "element \"" + e.name.substr(0, 20) + "\" has more items than the file holds";
        for (unsigned long long item = 0; item < e.count; ++item) {
            for (const Property& p : e.properties) {
                if (!tokens.next(token)) return "the data ends inside element \"" + e.name.substr(0, 20) + "\"";
                if (!wholeNumber(token, p.countSize == 0 && p.isFloat)) return notANumber(e, token);
                if (p.countSize == 0) continue;
                const std::string text(token);
                char* stop = nullptr;
                const long long count = std::strtoll(text.c_str(), &stop, 10);
                if (*stop != '\0' || count < 0 || static_cast<unsigned long long>(count) > tokens.mostLeft())
                    return "list \"" + p.name.substr(0, 20) + "\" has the count \"" + text.substr(0, 20) +
                           "\", more than the file holds";
                for (long long k = 0; k < count; ++k) {
                    if (!tokens.next(token)) return "the data ends inside element \"" + e.name.substr(0, 20) + "\"";
                    if (!wholeNumber(token, p.itemsFloat)) return notANumber(e, token);
                }
            }
        }
    }
    return "";
}

std::string walkBinary(std::string_view data, const std::vector<Element>& elements, bool bigEndian) {
    size_t at = 0;
    for (const Element& e : elements) {
        if (e.count > data.size() - at)
            return "element \"" + e.name.substr(0, 20) + "\" has more items than the file holds";
        for (unsigned long long item = 0; item < e.count; ++item) {
            for (const Property& p : e.properties) {
                const size_t head = p.countSize == 0 ? static_cast<size_t>(p.size) : static_cast<size_t>(p.countSize);
                if (head > data.size() - at) return "the data ends inside element \"" + e.name.substr(0, 20) + "\"";
                if (p.countSize == 0) {
                    at += head;
                    continue;
                }
                const long long count = binaryCount(data.data() + at, p, bigEndian);
                at += head;
                if (count < 0 ||
                    static_cast<unsigned long long>(count) > (data.size() - at) / static_cast<size_t>(p.size))
                    return "list \"" + p.name.substr(0, 20) + "\" has a count beyond the end of the file";
                at += static_cast<size_t>(count) * static_cast<size_t>(p.size);
            }
        }
    }
    return "";
}

}  // namespace

std::string checkPlyLayout(std::string_view bytes) {
    size_t dataStart = 0;
    int format = -1;
    std::vector<Element> elements;
    std::string problem = parseHeader(bytes, dataStart, format, elements);
    for (size_t i = 0; problem.empty() && i < elements.size(); ++i) problem = checkPropertyTypes(elements[i]);
    if (problem.empty()) {
        const std::string_view data = bytes.substr(dataStart);
        problem = format == 0 ? walkAscii(data, elements) : walkBinary(data, elements, format == 2);
    }
    return problem.empty() ? "" : problem + "; repair or re-export the file";
}

}  // namespace plumfold::detail
