// Removing an earlier output must never take a device, pipe or folder with it.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "common/old_output.h"

namespace fs = std::filesystem;

TEST(OldOutput, RemovesFilesAndLinksOnly) {
  char templ[] = "/tmp/old_output_XXXXXX";
  fs::path dir = mkdtemp(templ);
  std::ofstream(dir / "movie.mov") << "old";
  std::ofstream(dir / "target") << "kept";
  fs::create_symlink(dir / "target", dir / "link.mov");
  ASSERT_EQ(mkfifo((dir / "pipe.mov").c_str(), 0600), 0);
  fs::create_directory(dir / "folder.mov");

  for (const char* name : {"movie.mov", "link.mov", "pipe.mov", "folder.mov", "missing.mov"})
    removeOldOutput(dir / name);

  EXPECT_FALSE(fs::exists(fs::symlink_status(dir / "movie.mov")));
  EXPECT_FALSE(fs::exists(fs::symlink_status(dir / "link.mov")));
  EXPECT_TRUE(fs::exists(dir / "target")) << "a link's target is not ours to remove";
  EXPECT_TRUE(fs::is_fifo(dir / "pipe.mov"));
  EXPECT_TRUE(fs::is_directory(dir / "folder.mov"));
  fs::remove_all(dir);
}
