#pragma once

#include <sys/types.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "vuzizeri/agent/recorder_process.h"
#include "vuzizeri/agent/storyboard_check.h"
#include "vuzizeri/mcp/protocol.h"

// The server's tools: what an agent sees of each (its name, description and
// the JSON Schema of its arguments) and what a call does.
namespace mcp {

// Where the server works: every file it writes, and every file a call
// names, lies inside this folder.
struct Workspace {
  std::filesystem::path folder;  // canonical
  std::string recorder;          // the vuzizeri binary
  std::string checker;           // the data folder's tables live beside them
  std::string dataFolder;
  // What a storyboard or a page may reach: file: pages only inside the
  // folder, $NOME only of the names the operator allows.
  agent::StoryboardRules reach;
};

// One call as it runs: where progress goes, and whether it was cancelled.
struct Call {
  explicit Call(Channel& to) : channel(to) {}
  Channel& channel;
  std::optional<std::string> progressToken;  // JSON text, when the client sent one
  std::atomic<bool> cancelled{false};
  // Marks the call cancelled and asks its recorder, once, to end.
  void cancel();
  agent::RecorderHandle recorder;
  // A progress notification, when asked for; each one's progress above the
  // one before, as the protocol wants.
  void progress(double done, const std::string& message);
  double lastProgress = -1;
};

// What a call answers: its content items (JSON texts) and whether the tool
// failed (an error the agent can act on, not a protocol error).
struct ToolResult {
  std::vector<std::string> content;
  bool isError = false;
  vuz::JsonValue json() const;
};
ToolResult textResult(const std::string& text, bool isError = false);

struct Tool {
  const char* name;
  const char* description;
  const char* inputSchema;  // JSON
  // Nothing when the arguments do not fit the schema, with the reason.
  std::function<std::optional<ToolResult>(const Workspace&, JsonObject* arguments, Call& call,
                                          std::string* invalid)>
      run;
};

const std::vector<Tool>& tools();
// tools/list's result.
vuz::JsonValue toolList();

// `given` (relative to the workspace, or absolute) as a path inside it;
// nothing, with the reason, when it resolves outside (through "..", a link,
// an absolute path elsewhere).
std::optional<std::filesystem::path> insideWorkspace(const Workspace& workspace,
                                                     const std::string& given, std::string* why);

}  // namespace mcp
