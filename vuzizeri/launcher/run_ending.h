#pragma once

#include <string>
#include <string_view>
#include <vector>

// How a run ends: with its report on standard output, or one line on
// standard error. The report comes from the writer's thread, a failure from
// the main thread and the time limit from the guard; whichever ends the run
// first is the only one heard.
namespace vuz {

// Everything the run starts inherits descriptors 0 to 2; they go to
// /dev/null, so that no web process or display server holds the caller's
// pipes, and library chatter never reaches the user. The report and our own
// messages go to private copies of the real ones.
void keepStandardDescriptorsPrivate();

[[noreturn]] void failOnce(std::string_view message);

// Writes `line` and leaves at once, with status 0.
[[noreturn]] void reportAndExit(const std::string& line, int status = 0);
// The report, then `findings` a line each on standard error, with status 3.
[[noreturn]] void reportBrokenAndExit(const std::string& line,
                                      const std::vector<std::string>& findings);

}  // namespace vuz
