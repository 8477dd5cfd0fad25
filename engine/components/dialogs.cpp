#include "engine/components/dialogs.h"

#include <mutex>

namespace viz {

namespace {

std::mutex dialogsLock;
TABSDialogs installed;

}  // namespace

TABSDialogs SetDialogs(const TABSDialogs& dialogs) {
  std::lock_guard lock(dialogsLock);
  TABSDialogs previous = installed;
  installed = dialogs;
  return previous;
}

TABSDialogs Dialogs() {
  std::lock_guard lock(dialogsLock);
  return installed;
}

}  // namespace viz
