// The temporary files of temporary work: made on first need in the platform's temporary folder with
// the prefix VIZ, and gone when the stream on them is closed (never left behind, also not when the
// process dies).
#pragma once

#include <memory>

#include "engine/platform/file.h"
#include "engine/tables/streams.h"

namespace viz {

//! Returns a stream on a new temporary file of `fileSystem` (null: the real one). Raises "Cannot
//! create file. FileName = %s" (10104) when none can be made.
std::unique_ptr<TABSFileStream> NewTemporaryFileStream(platform::FileSystem* fileSystem);

}  // namespace viz
