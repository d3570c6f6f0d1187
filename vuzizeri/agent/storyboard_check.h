#pragma once

#include <filesystem>
#include <optional>
#include <set>
#include <string>

// What a storyboard or a page from afar (a service's job, an agent's call)
// may reach on the machine that records it. $NOME is for the person at the
// command line: from afar it would read the front end's own secrets.
namespace agent {

// The most a storyboard from afar holds still, in pauses, long presses and
// titles.
inline constexpr double kMostHeldSeconds = 600;

struct StoryboardRules {
  std::set<std::string> variables;  // the $NOME the operator allows
  // Where file: pages may be (canonical); none: nowhere.
  std::optional<std::filesystem::path> files;
};

// Whether `text` is a name $NOME can read: a letter or _, then letters,
// digits or _.
bool variableName(const std::string& text);

// `given` (relative to `folder`, or absolute) as a path inside it, every
// link and ".." resolved; nothing, with the reason, when it is outside.
std::optional<std::filesystem::path> insideFolder(const std::filesystem::path& folder,
                                                  const std::string& given, std::string* why);

// Why the page at `url` may not be recorded from afar, or "": a file: URL
// must name a file inside `rules.files`.
std::string localPageRefusal(const std::string& url, const StoryboardRules& rules);

// Why a storyboard from afar is refused, or "": a line it cannot run, a
// $NOME the operator has not allowed, an `ir` to a file outside the folder
// (a relative one from a file: page included), or more than
// kMostHeldSeconds held. `startUrl` is the page it begins on. A line's
// reason begins "linha N: ", as the recorder's does.
std::string storyboardRefusal(const std::string& text, const std::string& startUrl,
                              const StoryboardRules& rules);

}  // namespace agent
