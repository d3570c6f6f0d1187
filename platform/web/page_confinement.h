#pragma once

#include <webkit2/webkit2.h>

#include <optional>
#include <string>

// What a page nobody here wrote may do is limited to its own view: it gets a
// web context of its own with nothing kept after the run and a memory
// ceiling, and every way it has of reaching further (downloads, dialogs,
// popups, permissions, printing, credentials) is answered at once, as a
// view with no person in front of it would answer.
namespace web {

// A new web context: sandboxed web processes, ephemeral web data (no cache,
// cookies or storage on disk, nothing shared with another run), web
// processes killed once they use more than `memoryLimitMB`, and every
// download cancelled before it writes anything. The caller owns the result.
WebKitWebContext* newConfinedContext(unsigned memoryLimitMB);

// Whether the web processes' sandbox can be made here. WebKit starts each web
// process inside bubblewrap and, when bubblewrap fails, stops the program at
// once with a breakpoint trap that no caller can handle; a container that
// does not let bubblewrap mount its own /proc is the common case. False with
// bubblewrap's own message (or why it could not be started), after making
// the same smallest sandbox WebKit tries itself. True at once when the user
// turned WebKit's sandbox off through its environment variable.
bool sandboxWorks(std::string* reason);

// HTTP authentication the user allows for the page's own origin.
struct Credentials {
  std::string origin;  // as originOf() gives it
  std::string user;
  std::string password;
};

// Connects the answers to everything a page may ask of `view` beyond
// drawing itself, and turns off what would otherwise wait for a person. An
// authentication challenge gets `credentials` once when it comes from their
// origin, and none otherwise.
void confinePage(WebKitWebView* view, const std::optional<Credentials>& credentials);

}  // namespace web
