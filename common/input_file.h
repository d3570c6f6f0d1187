#pragma once

#include <sys/types.h>

#include <cstddef>
#include <optional>
#include <string>

// Files the user names as inputs (a storyboard, a style sheet, a script, a
// sound): only a regular file is read, never a FIFO that would block, a
// device that never ends, or a folder; and never more than a bound.

// Why `path` cannot be an input, or empty when it is a regular file. Never
// blocks: a FIFO is looked at, not opened.
std::string notAnInputFile(const std::string& path);

// The whole of the regular file at `path`, at most `maxBytes` of it;
// nothing, with the reason in `reason` ("é uma pasta", "tem mais de 1 MiB",
// the system's text), when it cannot be had.
std::optional<std::string> readInputFile(const std::string& path, size_t maxBytes,
                                         std::string* reason);

// "1 MiB", "16 MiB", "512 KiB": a bound as a person reads it.
std::string byteCountText(size_t bytes);

// Whether two paths name the same existing file (under any name or link).
bool sameFile(const std::string& a, const std::string& b);
