#pragma once

#include <string>

namespace display {

// Starts an Xvfb server of our own, with a screen of `width` × `height`
// pixels, on the first free display number, and points DISPLAY at it. Only
// clients holding the fresh random cookie written to the new file
// `authority` (XAUTHORITY points at it) may connect: no other user can read
// the screen or send it input. The server is killed by the kernel when this
// process ends, however it ends. Call from the main thread (the thread that
// lives as long as the process), before any other thread exists. False with
// a reason when no server came up.
bool startPrivateDisplay(int width, int height, const std::string& authority, std::string* error);

}  // namespace display
