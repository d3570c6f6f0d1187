#pragma once

#include <string_view>

// Writes `message` and one line feed to standard error, unbuffered, and ends
// the process with status 1 at once: no destructors, no atexit handlers.
[[noreturn]] void fail(std::string_view message);

// Writes all of `text` to `fd`, retrying short and interrupted writes. False
// with errno set when the descriptor refuses it (a full disk, a closed pipe).
bool writeAll(int fd, std::string_view text);

// Where fail() writes: standard error unless a program that silences the
// libraries' own output on descriptor 2 keeps the real one elsewhere.
void setFailDescriptor(int fd);

// Opens /dev/null on any of descriptors 0, 1 and 2 that the caller left
// closed, so that no file the program opens later takes their place and
// receives its report or its messages. First thing in main().
void reopenClosedStandardDescriptors();
