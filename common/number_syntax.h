#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

// The command-line integer syntax of both programs: an optional single '+' or
// '-', then one or more ASCII digits, nothing else, and a value that fits a
// signed 64-bit integer. Leading zeros are fine ("007" is 7).
std::optional<int64_t> parseInt64(std::string_view text);

// The scale's number syntax, for every decimal number on the command line and
// in the recorder's files: strtod in the C locale over the whole text, no
// leading white space. Hexadecimal, "inf" and "nan" parse; "2,5" does not.
std::optional<double> parseScale(std::string_view text);
