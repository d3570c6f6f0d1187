#pragma once

#include <optional>
#include <string>
#include <utility>

#include "vuzizeri/storyboard/storyboard.h"

// The storyboard's line syntax, shared by its steps: words, numbers, a
// selector that may be quoted, $NOME from the environment, a URL's scheme.
namespace vuz {

inline constexpr char kBlanks[] = " \t";

std::string trimmed(const std::string& text);
// The first word and the rest, the rest trimmed.
std::pair<std::string, std::string> firstWord(const std::string& text);
// A finite number in the scale's syntax.
std::optional<double> number(const std::string& text);
// Every $NOME from the environment into `out`; $$ is one $. False, with the
// name in `missing`, when a variable is not set.
bool expand(const std::string& text, const Environment& environment, std::string* out,
            std::string* missing);
// A selector and the text after it: the first word, or a quoted text when
// it has blanks. False when either is missing.
bool splitSelector(const std::string& rest, std::string* selector, std::string* text);
// A selector that is the whole rest of the line, quoted or not; false when
// quotes around it do not close at the line's end.
bool wholeSelector(const std::string& rest, std::string* selector);
// An absolute URL's scheme, lower-cased (RFC 3986: a letter, then letters,
// digits, "+", "-" or "." up to the colon); empty for a relative one.
std::string schemeOf(const std::string& url);

}  // namespace vuz
