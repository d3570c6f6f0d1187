#pragma once

#include <string_view>

// One self-erasing status line on standard error, for a person watching a
// terminal: shown only when the descriptor is a terminal, rewritten in
// place, and erased before anything else is said. Pipes and files never see
// it. One per process; thread-safe.
namespace progress {

// Starts showing on `fd` if it is a terminal; before this, and otherwise,
// nothing is ever shown.
void attach(int fd);

// Whether a line is being shown: attached to a terminal and not finished.
bool onTerminal();

// Replaces the line with `text`, at most ten times a second (`force` for a
// change of phase, which shows at once).
void show(std::string_view text, bool force = false);

// Erases the line for good: whatever is written next starts on a clean
// line, and later show() calls do nothing. fail() calls it.
void finish();

}  // namespace progress
