#include "engine/tables/name_compare.h"

#include "engine/platform/text.h"

namespace viz {

std::string UpperName(std::string_view name) {
  return platform::UpperCase(name);
}

bool SameName(std::string_view a, std::string_view b) {
  return platform::SameUpperCase(a, b);
}

}  // namespace viz
