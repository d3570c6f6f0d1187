#pragma once

#include <webkit2/webkit2.h>

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

// Connects the answers to everything a page may ask of `view` beyond
// drawing itself, and turns off what would otherwise wait for a person.
void confinePage(WebKitWebView* view);

}  // namespace web
