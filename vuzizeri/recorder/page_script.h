#pragma once

#include <string>

#include "vuzizeri/report/json.h"

// The recorder's scripts for the page, each a file of its own under
// recorder/scripts/ holding one function of one object of named arguments;
// the build puts them into page_scripts.h.
namespace vuz {

struct PageScript {
  const char* name;    // the file's, without ".js": what a failure names
  const char* source;  // the function, as the file has it
};

// A script that calls `script` with `arguments` (an object) and answers
// what it returns.
std::string scriptCall(const PageScript& script,
                       const JsonValue& arguments = JsonValue::object({}));

}  // namespace vuz
