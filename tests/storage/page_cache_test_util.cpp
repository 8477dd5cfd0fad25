#include "storage/page_cache_test_util.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>

#include "storage/storage_test_util.h"

namespace viz::testing {

OpenDatabase::OpenDatabase(const std::string& path, bool multiUserWanted, platform::FileSystem* fileSystem,
                           const TABSPassword& password, bool readOnlyWanted)
    : manager(fileSystem), multiUser(multiUserWanted), readOnly(readOnlyWanted) {
  manager.SetLockRetryPolicy(500, 2);
  manager.OpenDatabaseFile(path, password, multiUser, false, repairNeeded, readOnly);
}

void CreateDatabase(const std::string& path, const TABSPassword& password, uint16_t pageSize) {
  TABSDiskPageManager manager;
  manager.CreateDatabaseFile(path, password, file_format::kDefaultExtentPageCount, pageSize);
  manager.CloseDatabaseFile();
}

void FillPage(TABSPageManager& manager, int32_t session, int32_t pageNo, uint8_t value) {
  TABSPage* page = manager.GetPage(session, pageNo);
  std::memset(page->Data(), value, page->DataSize());
  page->MarkDirty();
  manager.ReleasePage(page);
}

int PageValue(TABSPageManager& manager, int32_t session, int32_t pageNo) {
  TABSPage* page = manager.GetPage(session, pageNo);
  const uint8_t* data = page->Data();
  int value = data[0];
  for (uint32_t index = 1; index < page->DataSize(); ++index) {
    if (data[index] != value) {
      value = -1;
      break;
    }
  }
  manager.ReleasePage(page);
  return value;
}

std::vector<int32_t> AddPages(TABSPageManager& manager, int32_t session, int count, uint8_t value) {
  std::vector<int32_t> numbers;
  for (int index = 0; index < count; ++index) {
    TABSPage* page = manager.AddPage(session, ptTableRecord);
    std::memset(page->Data(), value, page->DataSize());
    numbers.push_back(page->PageNo);
    manager.ReleasePage(page);
  }
  return numbers;
}

int32_t ChangeCounterOnDisk(const std::string& path) {
  std::vector<uint8_t> bytes = ReadBytesAt(path, 38, 4);
  int32_t value = 0;
  std::memcpy(&value, bytes.data(), 4);
  return value;
}

int StateOnDisk(const std::string& path) {
  return ReadBytesAt(path, 42, 1).at(0);
}

int RunFileChecker(const std::string& path, const std::string& password) {
#ifdef VIZCHECK_PATH
  const std::filesystem::path tool = VIZCHECK_PATH;
#else
  const std::filesystem::path tool;
#endif
  if (tool.empty() || !std::filesystem::exists(tool)) return -1;
  pid_t child = fork();
  if (child == 0) {
    // The report is of no interest here, only the verdict.
    FILE* sink = freopen("/dev/null", "w", stdout);
    (void)sink;
    if (password.empty()) {
      execl(tool.c_str(), "vizcheck", path.c_str(), static_cast<char*>(nullptr));
    } else {
      execl(tool.c_str(), "vizcheck", path.c_str(), "--password", password.c_str(),
            static_cast<char*>(nullptr));
    }
    _exit(127);
  }
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -2;
}

}  // namespace viz::testing
