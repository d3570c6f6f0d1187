// The run time limit, which takes its full two minutes to show.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "scratch_dir.h"
#include "test_runs.h"

namespace fs = std::filesystem;

namespace {

// A page that stops answering once recording has begun: the guard ends the
// run on time, with the web process and the unfinished file. In real time
// that is the two-minute limit; frame by frame, half a minute without a frame.
TEST(RecorderTimeLimit, AStuckPageEndsWithTempoEsgotadoAndLeavesNothing) {
  for (bool frameByFrame : {false, true}) {
    const test_runs::ScratchDir scratch("vuzizeri_slow");
    const fs::path& dir = scratch.path;
    fs::path out = dir / "never.mp4";
    std::vector<std::string> args = {
        test_runs::pageUrl("stuck.html"), "200", "300", "1", "20", out.string()};
    if (frameByFrame) args.insert(args.begin(), "--quadro-a-quadro");
    test_runs::Outcome r =
        test_runs::run(VUZIZERI_BINARY, args, dir, test_runs::recorderOptions(dir));
    EXPECT_EQ(r.status, 1) << frameByFrame;
    EXPECT_EQ(r.err, "tempo esgotado\n") << frameByFrame;
    EXPECT_EQ(r.out, "");
    EXPECT_FALSE(fs::exists(out));
    EXPECT_EQ(test_runs::leftovers(dir), "");
  }
}

}  // namespace
