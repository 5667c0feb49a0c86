#pragma once
// Small helpers for the line-based foreign formats.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Splits a line at blanks, tabs, carriage returns, vertical tabs and form feeds.
std::vector<std::string_view> splitTokens(std::string_view line);

// Parses the whole token as a decimal number and rounds it to a 32-bit float;
// false when it is not a number or not finite as a float.
bool parseCoordinate(std::string_view token, float& value);

// Parses the whole token as a decimal integer with an optional sign; false when
// it is not one or does not fit 64 bits.
bool parseInteger(std::string_view token, int64_t& value);

// The token for an error message: quoted, control bytes escaped, shortened.
std::string quoteToken(std::string_view token);
