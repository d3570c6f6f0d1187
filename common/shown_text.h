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

// Text for a file that people read (a caption, a chapter's name): each byte
// that is not UTF-8 becomes U+FFFD, control characters go (those that break
// a line or a word become a space), and it ends at a whole character within
// `maxBytes`.
std::string plainText(std::string_view text, size_t maxBytes = std::string_view::npos);
