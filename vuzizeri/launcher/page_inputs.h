#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "vuzizeri/command_line/arguments.h"

namespace vuz {

// What the options name outside the command line, read before the run
// starts: the user's files, the consent managers' selectors, and the HTTP
// credentials from the environment.
struct PageInputs {
  std::string userStyleSheet;      // hides and removes (elements, banners)
  std::string authorStyleSheet;    // --estilo's file
  std::string controlsStyleSheet;  // iOS's form controls, unless --controles-do-motor
  std::vector<std::pair<std::string, std::string>> headers;
  std::vector<std::pair<std::string, std::string>> cookies;
  std::optional<std::pair<std::string, std::string>> credentials;  // user, password
};

// How much of a file the options name is read: a storyboard is a page of
// lines; a style sheet or a script may be a library.
inline constexpr size_t kStoryboardMaxBytes = 1 << 20;
inline constexpr size_t kPageFileMaxBytes = 16 << 20;

// The whole of the regular file at `path`, at most `maxBytes`; false with
// "<option>: não foi possível ler <path>: <reason>" in `message` when it
// cannot be had (not a regular file, too long, unreadable).
bool readFile(const std::string& path, size_t maxBytes, std::string* text, std::string* message,
              const std::string& option = "");

// The run's language: --idioma's, or else the one LANG gives (phone.h).
std::string runLanguage(const Arguments& arguments);

// --textos's table (a header "chave" and language tags, then a key and its
// texts a row, split by tabs) as the column of `language`, or of its
// language alone (pt for pt-BR); empty cells are left out. Nothing, with the
// reason in `message`, when no column is the language's or a row is not
// the header's length.
std::optional<Texts> textsIn(const std::string& table, const std::string& language,
                             std::string* message);

// What to say when the output is one of the run's own inputs (the video
// would take its place), or empty.
std::string outputAmongInputs(const Arguments& arguments);

// Reads them, and --script's file and --roteiro's steps into `arguments`. VUZIZERI_CREDENCIAIS
// ("usuario:senha") is taken out of the environment, so that nothing the
// run starts sees it. Nothing, with the reason in `message`, when a file
// cannot be read or the credentials are malformed.
std::optional<PageInputs> readPageInputs(Arguments& arguments, const std::string& dataFolder,
                                         std::string* message);

}  // namespace vuz
