#include "vuzizeri/mcp/protocol.h"

#include <unistd.h>

#include "common/fail.h"
#include "vuzizeri/report/json.h"

namespace mcp {

void Channel::write(const std::string& line) {
  std::lock_guard lock(mutex_);
  writeAll(STDOUT_FILENO, line + "\n");
}

void Channel::respond(const std::string& id, const std::string& result) {
  write("{\"jsonrpc\": \"2.0\", \"id\": " + id + ", \"result\": " + result + "}");
}

void Channel::fail(const std::string& id, int code, const std::string& message) {
  write("{\"jsonrpc\": \"2.0\", \"id\": " + id + ", \"error\": {\"code\": " + std::to_string(code) +
        ", \"message\": " + vuz::jsonString(message) + "}}");
}

void Channel::notify(const std::string& method, const std::string& params) {
  write("{\"jsonrpc\": \"2.0\", \"method\": " + vuz::jsonString(method) +
        ", \"params\": " + params + "}");
}

}  // namespace mcp
