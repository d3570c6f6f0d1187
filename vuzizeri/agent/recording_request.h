#pragma once

#include <json-glib/json-glib.h>

#include <optional>
#include <string>
#include <vector>

// A recording asked for in JSON (an agent's call, a service's job), in the
// recorder's own command-line words.
namespace agent {

struct RecorderWords {
  std::vector<std::string> options;  // from quadro_a_quadro, formato, destino, aparelho, fps
  std::vector<std::string> sizes;    // largura, altura, escala and topo, after the URL
};

// Nothing, with the reason, when a member has the wrong type, the sizes
// are not all four given, or a device is given with them. Values the recorder checks itself (a
// device's name, a form's) are passed on for it to refuse.
std::optional<RecorderWords> recorderWords(JsonObject* request, std::string* invalid);

// A storyboard's text as the file --roteiro reads, in a private folder
// under TMPDIR, removed with this object.
class StoryboardFile {
 public:
  StoryboardFile() = default;
  StoryboardFile(const StoryboardFile&) = delete;
  StoryboardFile& operator=(const StoryboardFile&) = delete;
  ~StoryboardFile();
  bool write(const std::string& text, std::string* why);
  const std::string& path() const { return path_; }

 private:
  std::string folder_, path_;
};

}  // namespace agent
