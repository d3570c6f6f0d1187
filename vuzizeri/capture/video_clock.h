#pragma once

#include <string>

// Frame by frame, the page's own clocks follow the video: from the first
// frame on, each frame moves performance.now(), Date.now() and new Date(),
// requestAnimationFrame's timestamps, setTimeout and setInterval, and the
// playback of <video> and <audio> exactly 1/60 s on, however long the
// machine takes to paint it. Before the first frame (loading, the
// three-second wait) they run as usual.
namespace vuz {

// The event the step script sends the page for each frame: the first
// starts the video's clock, each later one moves it 1/60 s on.
inline constexpr char kVideoClockEvent[] = "vuzizeri-quadro";

// A script for the start of the top document, run where the page's own
// scripts run, that puts its clocks on the video's when told to
// (scripts/video_clock.js).
std::string videoClockScript();

}  // namespace vuz
