#include "engine/storage/memory/temporary_file.h"

#include "engine/types/errors.h"

namespace viz {

std::unique_ptr<TABSFileStream> NewTemporaryFileStream(platform::FileSystem* fileSystem) {
  platform::FileSystem& files = fileSystem ? *fileSystem : platform::FileSystem::Default();
  platform::OsError error;
  std::unique_ptr<platform::File> file = files.CreateTemporary(&error);
  if (file == nullptr)
    throw EABSException(msg::kCannotCreateStreamFile.At(10104), "VIZ temporary file: " + error.message);
  const std::string name = file->Path();
  return std::make_unique<TABSFileStream>(std::move(file), name, TABSFileStream::kCreateMode, true);
}

}  // namespace viz
