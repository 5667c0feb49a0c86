#include "tools/text_scan.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

std::vector<std::string_view> splitTokens(std::string_view line) {
    std::vector<std::string_view> tokens;
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; };
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && blank(line[i])) ++i;
        size_t start = i;
        while (i < line.size() && !blank(line[i])) ++i;
        if (i > start) tokens.push_back(line.substr(start, i - start));
    }
    return tokens;
}

bool parseCoordinate(std::string_view token, float& value) {
    // strtod wants a terminated string; a number is never this long in practice.
    if (token.empty() || token.size() > 400) return false;
    std::string text(token);
    char* end = nullptr;
    double parsed = std::strtod(text.c_str(), &end);
    if (end != text.c_str() + text.size()) return false;
    value = static_cast<float>(parsed);
    return std::isfinite(value);
}

bool parseInteger(std::string_view token, int64_t& value) {
    if (!token.empty() && token[0] == '+') token.remove_prefix(1);
    if (token.empty() || token[0] == '+') return false;
    auto [end, error] = std::from_chars(token.data(), token.data() + token.size(), value);
    return error == std::errc() && end == token.data() + token.size();
}

std::string quoteToken(std::string_view token) {
    std::string out = "'";
    size_t shown = 0;
    for (char c : token) {
        if (++shown > 40) {
            out += "...";
            break;
        }
        unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7f) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", u);
            out += hex;
        } else {
            out += c;
        }
    }
    return out + "'";
}
