// Helpers of the page-cache tests on real database files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/storage/disk_page_manager.h"

namespace viz::testing {

//! An open database file with its disk page manager.
struct OpenDatabase {
  explicit OpenDatabase(const std::string& path, bool multiUser = true,
                        platform::FileSystem* fileSystem = nullptr, const TABSPassword& password = {},
                        bool readOnly = false);

  TABSDiskPageManager manager;
  bool multiUser;
  bool repairNeeded = false;
  bool readOnly;
};

//! Creates an empty database file.
void CreateDatabase(const std::string& path, const TABSPassword& password = {}, uint16_t pageSize = 4096);

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
//! tool is not part of this build.
int RunFileChecker(const std::string& path, const std::string& password = {});

}  // namespace viz::testing
