#include "framework/data/exceptions.h"

namespace viz {

std::string ComponentErrorText(const std::string& message, const std::string& componentName) {
  if (componentName.empty()) return message;
  return componentName + ": " + message;
}

void DatabaseError(const std::string& message, const std::string& componentName) {
  throw EDatabaseError(ComponentErrorText(message, componentName));
}

}  // namespace viz
