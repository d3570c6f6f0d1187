#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "vuzizeri/command_line/arguments.h"

// The page as the user wants it filmed: elements hidden or removed, consent
// banners out of the way, a style sheet and a script of the user's, and a
// wait for the element that says the page is ready. All of it is in place
// before the three-second wait, so the top colours come from the shaped page.
namespace vuz {

inline constexpr double kElementWaitSeconds = 30;
inline constexpr double kElementPollSeconds = 0.1;

// banners.tsv as style rules: "manager<TAB>selector[<TAB>declarations]"
// lines, the declarations "display: none !important" when not given; blank
// lines and lines starting with '#' are skipped. One rule a selector, so that
// one the engine does not understand costs only itself.
std::string bannerStyleSheet(std::string_view tsv);

// A user style sheet for the top document that hides `hide` (visibility),
// removes `remove` (display) and, with --sem-banners, holds `bannerRules`.
std::string shapingStyleSheet(const Arguments& arguments, std::string_view bannerRules);
// The user style sheet, for every frame's document, that covers what
// --redigir names.
std::string redactionStyleSheet(const Arguments& arguments);
// The script, run at the start of every document, that finds the text
// --redigir-texto covers; empty without it.
std::string redactionScript(const Arguments& arguments);
// What to say when that script posts the number of a pattern the engine gave
// up on (it would leave the text in the clear); empty for anything else.
std::string redactionFailure(const Arguments& arguments, const std::string& posted);

}  // namespace vuz
