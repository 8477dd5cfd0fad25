#include "framework/data/exceptions.h"

#include <cstdio>
#include <utility>

#include "framework/data/messages.h"

namespace viz {
namespace {

std::function<void(const std::exception&)>& ApplicationErrorHandler() {
  static std::function<void(const std::exception&)> handler;
  return handler;
}

}  // namespace

EAbort::EAbort() : Exception(fmsg::kOperationAborted) {}

std::string ComponentErrorText(const std::string& message, const std::string& componentName) {
  if (componentName.empty()) return message;
  return componentName + ": " + message;
}

void DatabaseError(const std::string& message, const std::string& componentName) {
  throw EDatabaseError(ComponentErrorText(message, componentName));
}

void DatabaseErrorFmt(const char* format, std::initializer_list<FormatArg> args,
                      const std::string& componentName) {
  DatabaseError(FormatText(format, args).value_or(format), componentName);
}

void Abort() {
  throw EAbort();
}

void HandleApplicationError() {
  try {
    throw;
  } catch (const EAbort&) {
  } catch (const std::exception& error) {
    if (ApplicationErrorHandler()) {
      ApplicationErrorHandler()(error);
    } else {
      std::fprintf(stderr, "%s\n", error.what());
    }
  }
}

std::function<void(const std::exception&)> SetApplicationErrorHandler(
    std::function<void(const std::exception&)> handler) {
  return std::exchange(ApplicationErrorHandler(), std::move(handler));
}

}  // namespace viz
