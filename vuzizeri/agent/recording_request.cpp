#include "vuzizeri/agent/recording_request.h"

#include <glib.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "vuzizeri/agent/json_members.h"
#include "vuzizeri/report/json.h"

namespace agent {
namespace {

bool wrongType(JsonObject* request, const char* name, GType type) {
  if (!json_object_has_member(request, name)) return false;
  JsonNode* node = json_object_get_member(request, name);
  if (!JSON_NODE_HOLDS_VALUE(node)) return true;
  const GType held = json_node_get_value_type(node);
  if (type == G_TYPE_DOUBLE) return held != G_TYPE_DOUBLE && held != G_TYPE_INT64;
  return held != type;
}

}  // namespace

std::optional<RecorderWords> recorderWords(JsonObject* request, std::string* invalid) {
  RecorderWords words;
  for (const char* name : {"formato", "destino", "aparelho"}) {
    if (wrongType(request, name, G_TYPE_STRING)) {
      *invalid = std::string(name) + ": uma string";
      return std::nullopt;
    }
    if (const std::optional<std::string> value = stringMember(request, name))
      words.options.insert(words.options.end(), {std::string("--") + name, *value});
  }
  if (wrongType(request, "quadro_a_quadro", G_TYPE_BOOLEAN)) {
    *invalid = "quadro_a_quadro: true ou false";
    return std::nullopt;
  }
  if (boolMember(request, "quadro_a_quadro").value_or(false))
    words.options.push_back("--quadro-a-quadro");
  if (wrongType(request, "fps", G_TYPE_DOUBLE)) {
    *invalid = "fps: um número";
    return std::nullopt;
  }
  if (const std::optional<double> fps = numberMember(request, "fps"))
    words.options.insert(words.options.end(), {"--fps", vuz::jsonNumber(*fps)});
  const char* sizes[] = {"largura", "altura", "escala", "topo"};
  int given = 0;
  for (const char* size : sizes) given += json_object_has_member(request, size) ? 1 : 0;
  if (given == 0) return words;
  if (given != 4) {
    *invalid = "largura, altura, escala e topo vão juntos";
    return std::nullopt;
  }
  // With a device the recorder would take the first number for the output.
  if (json_object_has_member(request, "aparelho")) {
    *invalid = "aparelho ou largura, altura, escala e topo: não os dois";
    return std::nullopt;
  }
  for (const char* size : sizes) {
    const std::optional<double> n = numberMember(request, size);
    if (!n || !std::isfinite(*n)) {
      *invalid = std::string(size) + ": um número";
      return std::nullopt;
    }
    words.sizes.push_back(vuz::jsonNumber(*n));
  }
  return words;
}

StoryboardFile::~StoryboardFile() {
  if (folder_.empty()) return;
  std::error_code ignored;
  std::filesystem::remove_all(folder_, ignored);
}

bool StoryboardFile::write(const std::string& text, std::string* why) {
  const char* tmp = std::getenv("TMPDIR");
  std::string templ = std::string(tmp && *tmp ? tmp : "/tmp") + "/vuzizeri-roteiro-XXXXXX";
  if (!mkdtemp(templ.data())) {
    *why = templ + ": " + std::strerror(errno);
    return false;
  }
  folder_ = templ;
  path_ = folder_ + "/roteiro.txt";
  g_autoptr(GError) error = nullptr;
  if (!g_file_set_contents(path_.c_str(), text.data(), static_cast<gssize>(text.size()), &error)) {
    *why = error->message;
    return false;
  }
  return true;
}

}  // namespace agent
