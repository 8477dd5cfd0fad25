#include "storage/storage_test_util.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace viz::testing {

std::vector<uint8_t> ReadAllBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteAllBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) ADD_FAILURE() << "cannot write " << path;
}

std::vector<uint8_t> ReadBytesAt(const std::string& path, int64_t position, size_t count) {
  std::ifstream in(path, std::ios::binary);
  in.seekg(position);
  std::vector<uint8_t> bytes(count);
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(count));
  bytes.resize(static_cast<size_t>(std::max<std::streamsize>(in.gcount(), 0)));
  return bytes;
}

void WriteBytesAt(const std::string& path, int64_t position, const std::vector<uint8_t>& bytes) {
  std::fstream out(path, std::ios::binary | std::ios::in | std::ios::out);
  out.seekp(position);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

int64_t FileSize(const std::string& path) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  return in ? static_cast<int64_t>(in.tellg()) : -1;
}

void CreateDatabase(const std::string& path, const TABSPassword& password, uint16_t extentPageCount,
                    uint16_t pageSize) {
  TABSDiskPageManager manager;
  manager.CreateDatabaseFile(path, password, extentPageCount, pageSize);
  manager.CloseDatabaseFile();
}

OpenDatabase::OpenDatabase(const std::string& path, bool multiUserWanted, platform::FileSystem* fileSystem,
                           const TABSPassword& password, bool readOnlyWanted)
    : manager(fileSystem), multiUser(multiUserWanted), readOnly(readOnlyWanted) {
  manager.SetLockRetryPolicy(500, 2);
  manager.OpenDatabaseFile(path, password, multiUser, false, repairNeeded, readOnly);
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

int RunFileChecker(const std::string& path, const std::string& password, std::string* report) {
#ifdef VIZCHECK_PATH
  const std::filesystem::path tool = VIZCHECK_PATH;
#else
  const std::filesystem::path tool;
#endif
  if (tool.empty() || !std::filesystem::exists(tool)) return -1;
  int pipeEnds[2];
  if (pipe(pipeEnds) != 0) return -2;
  pid_t child = fork();
  if (child == 0) {
    close(pipeEnds[0]);
    dup2(pipeEnds[1], STDOUT_FILENO);
    close(pipeEnds[1]);
    if (password.empty()) {
      execl(tool.c_str(), "vizcheck", path.c_str(), static_cast<char*>(nullptr));
    } else {
      execl(tool.c_str(), "vizcheck", path.c_str(), "--password", password.c_str(),
            static_cast<char*>(nullptr));
    }
    _exit(127);
  }
  close(pipeEnds[1]);
  std::string output;
  char buffer[4096];
  for (ssize_t got; (got = read(pipeEnds[0], buffer, sizeof buffer)) != 0;) {
    if (got < 0) {
      if (errno == EINTR) continue;
      break;
    }
    output.append(buffer, static_cast<size_t>(got));
  }
  close(pipeEnds[0]);
  int status = 0;
  waitpid(child, &status, 0);
  if (report != nullptr) *report = std::move(output);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -2;
}

bool ExpectSoundWithNoLostPage(const std::string& path, const std::string& context,
                               const std::string& password) {
  std::string report;
  const int verdict = RunFileChecker(path, password, &report);
  if (verdict == -1) return true;
  const bool lost = report.find("unowned:") != std::string::npos;
  EXPECT_EQ(verdict, 0) << "vizcheck found problems " << context << "\n" << report;
  EXPECT_FALSE(lost) << "pages lost to the free space " << context << "\n" << report;
  return verdict == 0 && !lost;
}

}  // namespace viz::testing
