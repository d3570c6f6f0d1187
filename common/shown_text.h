#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Text from a file or a page as a message may show it: control bytes and
// bytes that are not UTF-8 written as \xHH (\t, \r and \n by their names),
// so that nothing reaches a terminal as an escape sequence, and cut after
// `maxCharacters` characters with "…", so that a 10 MB line stays one
// readable line.
std::string shownText(std::string_view text, size_t maxCharacters = 80);
