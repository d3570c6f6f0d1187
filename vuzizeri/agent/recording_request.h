#pragma once

#include <json-glib/json-glib.h>

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// A recording asked for in JSON (an agent's call, a service's job), in the
// recorder's own command-line words.
namespace agent {

// Who asks: the service's HTTP API, or the MCP server's gravar.
enum class Front { kHttp, kMcp };

enum class JsonType { kString, kNumber, kBoolean, kStrings };

// A request's member: its JSON type, the recorder's option it becomes
// (a flag when it is a boolean), and the fronts that take it. A number with
// no option is one of the four sizes that follow the URL; the rest with no
// option are the front's own to place (the URL, the output, opcoes) or keep
// (a webhook). A storyboard's text goes to a file --roteiro names.
struct RequestMember {
  std::string_view name;
  JsonType type;
  std::string_view option;
  bool http;
  bool mcp;
};

// In the order their words go to the recorder, which refuses them in that
// order.
inline constexpr RequestMember kRequestMembers[] = {
    {"url", JsonType::kString, "", true, true},
    {"saida", JsonType::kString, "", false, true},
    {"formato", JsonType::kString, "--formato", true, true},
    {"destino", JsonType::kString, "--destino", true, true},
    {"aparelho", JsonType::kString, "--aparelho", true, true},
    {"quadro_a_quadro", JsonType::kBoolean, "--quadro-a-quadro", true, true},
    {"fps", JsonType::kNumber, "--fps", true, true},
    {"largura", JsonType::kNumber, "", true, true},
    {"altura", JsonType::kNumber, "", true, true},
    {"escala", JsonType::kNumber, "", true, true},
    {"topo", JsonType::kNumber, "", true, true},
    {"roteiro", JsonType::kString, "--roteiro", true, true},
    {"webhook", JsonType::kString, "", true, false},
    {"opcoes", JsonType::kStrings, "", false, true},
};

// The first of `request`'s members, in their order, that `front` does not
// take, or "".
std::string unknownMember(JsonObject* request, Front front);

struct RecorderWords {
  std::vector<std::string> options;  // from quadro_a_quadro, formato, destino, aparelho, fps
  std::vector<std::string> sizes;    // largura, altura, escala and topo, after the URL
};

// The table walked once over `request`. Nothing, with the reason, when a
// member has the wrong type, the sizes are not all four given, a device is
// given with them, or (for the service, which keeps what it is given) a
// member is not the HTTP API's. Values the recorder checks itself (a
// device's name, a form's) are passed on for it to refuse.
std::optional<RecorderWords> recorderWords(JsonObject* request, Front front, std::string* invalid);

// An agent's own words for the recorder (opcoes): options of the recorder's
// table, each followed by its value when it takes one, never a word of
// their own. `take` has each in order, with its value when it has one, and
// may refuse it. The first refusal, or "".
using OptionTaker =
    std::function<std::string(const std::string& option, const std::optional<std::string>& value)>;
std::string takeOptions(const std::vector<std::string>& words, const OptionTaker& take);

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
