#pragma once

#include <functional>

// The main thread's event loop (GLib's default main context) and the media
// clock. Everything here is called on the main thread.
namespace loop {

// Seconds on the monotonic clock; only differences mean anything.
double mediaTime();

// Runs `work` once on the main loop, `seconds` from now (at once when ≤ 0).
// The call cannot be cancelled; it holds no reference to its caller.
void asyncAfter(double seconds, std::function<void()> work);

}  // namespace loop
