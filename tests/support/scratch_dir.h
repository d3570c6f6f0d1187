#pragma once

// A folder of a test's own under /tmp, with the files it asks for, removed
// with it.

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>

namespace test_runs {

class ScratchDir {
 public:
  // `files`: text by path inside the folder; their folders are made too.
  explicit ScratchDir(const std::string& prefix = "test",
                      const std::map<std::string, std::string>& files = {}) {
    std::string templ = "/tmp/" + prefix + "_XXXXXX";
    path = mkdtemp(templ.data());
    for (const auto& [name, text] : files) {
      std::filesystem::create_directories((path / name).parent_path());
      std::ofstream(path / name) << text;
    }
  }
  ~ScratchDir() { std::filesystem::remove_all(path); }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  std::filesystem::path path;
};

}  // namespace test_runs
