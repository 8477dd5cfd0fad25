#include "player/folder_list.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "player/text_util.h"

namespace sonvale {

std::vector<std::string> ListMatching(const std::string& folder, const std::string& extension) {
  std::vector<std::string> names;
  std::error_code error;
  std::filesystem::directory_iterator it(folder, error);
  if (error) return names;
  for (; it != std::filesystem::directory_iterator(); it.increment(error)) {
    if (error) break;
    std::string name = it->path().filename().string();
    // "*.mp3" needs at least the dot and the extension; a bare ".mp3" still matches, as a wildcard does.
    if (EndsWithIgnoringCase(name, extension)) names.push_back(std::move(name));
  }
  std::sort(names.begin(), names.end(),
            [](const std::string& a, const std::string& b) { return LessIgnoringCase(a, b); });
  return names;
}

}  // namespace sonvale
