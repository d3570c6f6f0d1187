#include "vuzizeri/movie/movie_forms.h"

#include <vector>

namespace vuz {

const MovieForm* movieFormNamed(std::string_view name) {
  for (const MovieForm& form : kMovieForms)
    if (form.name == name) return &form;
  return nullptr;
}

std::string movieFormNames(bool (*what)(const MovieForm&)) {
  std::vector<std::string_view> names;
  for (const MovieForm& form : kMovieForms)
    if (!what || what(form)) names.push_back(form.name);
  std::string text;
  for (size_t i = 0; i < names.size(); ++i)
    text += std::string(i == 0                  ? ""
                        : i + 1 == names.size() ? " ou "
                                                : ", ") +
            std::string(names[i]);
  return text;
}

}  // namespace vuz
