#pragma once

#include <string_view>

// Writes `message` and one line feed to standard error, unbuffered, and ends
// the process with status 1 at once: no destructors, no atexit handlers, so a
// half-written output file stays exactly as it is.
[[noreturn]] void fail(std::string_view message);

// Writes all of `text` to `fd`, retrying short and interrupted writes; gives
// up silently on an error, since there is nowhere left to report it.
void writeAll(int fd, std::string_view text);

// Where fail() writes: standard error unless a program that silences the
// libraries' own output on descriptor 2 keeps the real one elsewhere.
void setFailDescriptor(int fd);
