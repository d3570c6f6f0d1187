// What may stand at an output path, and what is never removed from one.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "common/output_path.h"
#include "scratch_dir.h"

namespace fs = std::filesystem;

TEST(OutputPath, OldFilesLinksAndPipesGoFoldersAndDevicesStay) {
  const test_runs::ScratchDir scratch("output_path", {{"movie.mov", "old"}, {"target", "kept"}});
  const fs::path& dir = scratch.path;
  fs::create_symlink(dir / "target", dir / "link.mov");
  ASSERT_EQ(mkfifo((dir / "pipe.mov").c_str(), 0600), 0);
  fs::create_directory(dir / "folder.mov");

  for (const char* name : {"movie.mov", "link.mov", "pipe.mov", "folder.mov"}) {
    removeOldOutput(dir / name);
    EXPECT_EQ(createNewFile(dir / name).has_value(), std::string(name) != "folder.mov") << name;
  }
  EXPECT_EQ(std::ifstream(dir / "target").get(), 'k') << "a link's target is not ours to remove";
  EXPECT_TRUE(fs::is_directory(dir / "folder.mov"));
  EXPECT_FALSE(createNewFile("/dev/null")) << "a device is no movie file";

  // /dev/stdout is a link on Debian: its folder, not the link, decides.
  fs::create_directory_symlink("/dev", dir / "devices");
  for (const fs::path& system : {fs::path("/dev/stdout"), fs::path("/proc/self/fd/1"),
                                 fs::path("/dev/../dev/stdout"), dir / "devices" / "stdout"})
    EXPECT_TRUE(isInsideSystemFolder(system)) << system;
  for (const fs::path& ordinary : {dir / "movie.mov", fs::path("/device.mov"), fs::path("x")})
    EXPECT_FALSE(isInsideSystemFolder(ordinary)) << ordinary;
}
