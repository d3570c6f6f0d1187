#pragma once

#include <string>

namespace display {

// Starts an Xvfb server of our own, with a screen of `width` × `height`
// pixels, on the first free display number, and points DISPLAY at it. The
// server is killed by the kernel when this process ends, however it ends.
// Call from the main thread (the thread that lives as long as the process),
// before any other thread exists. False with a reason when no server came up.
bool startPrivateDisplay(int width, int height, std::string* error);

}  // namespace display
