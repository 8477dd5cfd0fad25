// Helpers of the storage tests: raw file bytes, the engine error an action raises, and database
// files made and opened with a disk page manager. Temporary directories come from
// support/temp_dir.h, failing file systems from storage/fault_file_system.h.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "engine/storage/disk_page_manager.h"
#include "engine/storage/file_format.h"
#include "engine/types/errors.h"

namespace viz::testing {

//! Returns the whole content of a file (empty when it cannot be read).
std::vector<uint8_t> ReadAllBytes(const std::string& path);
//! Replaces the content of a file (the test fails when it cannot be written).
void WriteAllBytes(const std::string& path, const std::vector<uint8_t>& bytes);
//! Reads `count` bytes at `position` of a file (short at its end).
std::vector<uint8_t> ReadBytesAt(const std::string& path, int64_t position, size_t count);
//! Overwrites bytes at `position` of a file.
void WriteBytesAt(const std::string& path, int64_t position, const std::vector<uint8_t>& bytes);
int64_t FileSize(const std::string& path);

//! Runs `action` and returns the native code and message of the engine error it raises ({0, ""}
//! when it raises none).
template <class Action>
std::pair<int32_t, std::string> ErrorOf(Action action) {
  try {
    action();
  } catch (const EABSException& error) {
    return {error.NativeErrorCode(), error.Message()};
  }
  return {0, ""};
}

//! Runs `action` and returns the native code of the engine error it raises (0 for none).
template <class Action>
int32_t CodeOf(Action action) {
  return ErrorOf(action).first;
}

//! Creates an empty database file.
void CreateDatabase(const std::string& path, const TABSPassword& password = {},
                    uint16_t extentPageCount = file_format::kDefaultExtentPageCount,
                    uint16_t pageSize = 4096);

//! An open database file with its disk page manager (short lock retries, so that a test that meets
//! a held lock fails fast).
struct OpenDatabase {
  explicit OpenDatabase(const std::string& path, bool multiUser = true,
                        platform::FileSystem* fileSystem = nullptr, const TABSPassword& password = {},
                        bool readOnly = false);

  TABSDiskPageManager manager;
  bool multiUser;
  bool repairNeeded = false;
  bool readOnly;
};

//! Fills the data area of page `pageNo` with `value` for the session (page must exist).
void FillPage(TABSPageManager& manager, int32_t session, int32_t pageNo, uint8_t value);
//! Returns the first data byte of page `pageNo` for the session, after checking that the whole data
//! area holds that byte. Returns -1 for a data area that is not uniform.
int PageValue(TABSPageManager& manager, int32_t session, int32_t pageNo);
//! Adds `count` record pages filled with `value` and returns their numbers.
std::vector<int32_t> AddPages(TABSPageManager& manager, int32_t session, int count, uint8_t value);

//! Header fields read straight from the file (base offset 0).
int32_t ChangeCounterOnDisk(const std::string& path);
int StateOnDisk(const std::string& path);

//! Runs the vizcheck tool on a file (built with the tests). Returns its exit code, or -1 when the
//! tool is not part of this build; `report`, when given, receives what it printed.
int RunFileChecker(const std::string& path, const std::string& password = {}, std::string* report = nullptr);
//! Runs vizcheck and expects a sound file with no page lost to the free space (pages marked used
//! that nobody has). Returns false (with a test failure naming `context`) otherwise; true also
//! when the tool is not part of this build.
bool ExpectSoundWithNoLostPage(const std::string& path, const std::string& context,
                               const std::string& password = {});

}  // namespace viz::testing
