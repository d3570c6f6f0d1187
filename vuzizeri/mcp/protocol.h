#pragma once

#include <functional>
#include <mutex>
#include <optional>
#include <string>

#include "vuzizeri/agent/json_members.h"
#include "vuzizeri/report/json.h"

// JSON-RPC 2.0 over standard input and output, one message a line, as the
// Model Context Protocol's stdio transport has it.
namespace mcp {

// Error codes of JSON-RPC 2.0.
enum ErrorCode {
  kParseError = -32700,
  kInvalidRequest = -32600,
  kMethodNotFound = -32601,
  kInvalidParams = -32602,
  kInternalError = -32603,
};

// Writes whole lines to standard output, from any thread.
class Channel {
 public:
  // `id` is the request's id as JSON text ("1", "\"a\"").
  void respond(const std::string& id, const vuz::JsonValue& result);
  void fail(const std::string& id, int code, const std::string& message);
  void notify(const std::string& method, const vuz::JsonValue& params);

 private:
  void write(const std::string& line);
  std::mutex mutex_;
};

// The id of `message`, read from `line`, as the JSON text its answer
// carries: a string or null as json-glib writes it, a number as it was sent
// (json-glib keeps neither 1.5 nor 2^64 as written); nothing when it is of
// another type.
std::optional<std::string> idText(const std::string& line, JsonObject* message);

using agent::boolMember;
using agent::hasMember;
using agent::memberJson;
using agent::nodeText;
using agent::numberMember;
using agent::objectMember;
using agent::stringMember;
using agent::stringsMember;

}  // namespace mcp
