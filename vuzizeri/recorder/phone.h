#pragma once

#include <cstdint>
#include <string>

// What a page sees of the device it is shown on: the phone its user agent
// names, not the machine that records it.
namespace vuz {

inline constexpr char kUserAgent[] =
    "Mozilla/5.0 (iPhone; CPU iPhone OS 17_0 like Mac OS X) AppleWebKit/605.1.15 (KHTML, like "
    "Gecko) Version/17.0 Mobile/15E148 Safari/604.1";
inline constexpr int kTouchPoints = 5;

// The user's language as a BCP 47 tag, from the first of LC_ALL,
// LC_MESSAGES and LANG that is set and not empty: "pt_BR.UTF-8" gives
// "pt-BR", "de_DE@euro" "de-DE", "fr" "fr". "en-US" when that is C, POSIX
// or anything that is not a locale name. Arguments may be null.
std::string languageTag(const char* lcAll, const char* lcMessages, const char* lang);

// A script for the start of every document: the platform, the touch points
// and the screen of a phone whose screen is `cssW` × `cssH` CSS pixels. It
// changes what navigator and screen answer, never the document or layout.
std::string phoneScript(int64_t cssW, int64_t cssH);

}  // namespace vuz
