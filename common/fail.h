#pragma once

#include <string_view>

// Writes `message` and one line feed to standard error, unbuffered, and ends
// the process with status 1 at once: no destructors, no atexit handlers, so a
// half-written output file stays exactly as it is.
[[noreturn]] void fail(std::string_view message);

// Where fail() writes: standard error unless a program that silences the
// libraries' own output on descriptor 2 keeps the real one elsewhere.
void setFailDescriptor(int fd);
