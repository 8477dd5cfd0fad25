#include "engine/platform/file.h"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace viz::platform {
namespace {

using viz::testing::TempDir;

FileSystem& Fs() {
  return FileSystem::Default();
}

void WriteText(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

TEST(FileTest, PositionedReadsAndWritesReportCounts) {
  TempDir dir;
  OsError error;
  auto file = Fs().Create(dir.File("data"), &error);
  ASSERT_TRUE(file) << error.message;
  EXPECT_EQ(file->Size(), 0);
  EXPECT_EQ(file->WriteAt("hello world", 11, 0), 11);
  // A write past the end extends the file; the gap reads as zeros.
  EXPECT_EQ(file->WriteAt("!", 1, 20), 1);
  EXPECT_EQ(file->Size(), 21);
  char buffer[32];
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(file->ReadAt(buffer, 5, 6), 5);
  EXPECT_EQ(std::string(buffer, 5), "world");
  EXPECT_EQ(file->ReadAt(buffer, 10, 11), 10);
  EXPECT_EQ(std::string(buffer, 10), std::string(9, '\0') + "!");
  // Short read at the end of the file, nothing beyond it; neither is an error.
  EXPECT_EQ(file->ReadAt(buffer, 32, 15), 6);
  EXPECT_EQ(file->ReadAt(buffer, 4, 21), 0);
  EXPECT_EQ(file->ReadAt(buffer, 4, 1000), 0);
  EXPECT_TRUE(file->Flush());
  EXPECT_EQ(file->Path(), dir.File("data"));
  // Invalid positions fail with a reason.
  EXPECT_EQ(file->ReadAt(buffer, 1, -1), -1);
  EXPECT_EQ(file->LastError().code, EINVAL);
  EXPECT_FALSE(file->LastError().message.empty());
}

TEST(FileTest, SetSizeCutsAndExtends) {
  TempDir dir;
  auto file = Fs().Create(dir.File("data"), nullptr);
  ASSERT_TRUE(file);
  ASSERT_EQ(file->WriteAt("abcdef", 6, 0), 6);
  ASSERT_TRUE(file->SetSize(3));
  EXPECT_EQ(file->Size(), 3);
  ASSERT_TRUE(file->SetSize(5));
  char buffer[8] = {};
  ASSERT_EQ(file->ReadAt(buffer, 8, 0), 5);
  EXPECT_EQ(std::string(buffer, 5), std::string("abc\0\0", 5));
  EXPECT_FALSE(file->SetSize(-1));
}

TEST(FileTest, LargeOffsetsBeyondFourGigabytes) {
  TempDir dir;
  auto file = Fs().Create(dir.File("sparse"), nullptr);
  ASSERT_TRUE(file);
  const int64_t position = (int64_t{1} << 32) + 17;
  ASSERT_EQ(file->WriteAt("far", 3, position), 3);
  EXPECT_EQ(file->Size(), position + 3);
  char buffer[3];
  ASSERT_EQ(file->ReadAt(buffer, 3, position), 3);
  EXPECT_EQ(std::string(buffer, 3), "far");
}

TEST(FileTest, ReadAccessRefusesWritesAndCuts) {
  TempDir dir;
  WriteText(dir.File("data"), "content");
  auto file = Fs().Open(dir.File("data"), AccessMode::Read, ShareMode::ReadWrite, nullptr);
  ASSERT_TRUE(file);
  EXPECT_EQ(file->WriteAt("X", 1, 0), -1);
  EXPECT_EQ(file->LastError().code, EBADF);
  EXPECT_FALSE(file->SetSize(0));
  file.reset();
  EXPECT_EQ(ReadText(dir.File("data")), "content");
}

TEST(FileTest, OpenFailuresCarryTheSystemError) {
  TempDir dir;
  OsError error;
  EXPECT_FALSE(Fs().Open(dir.File("missing"), AccessMode::ReadWrite, ShareMode::ReadWrite, &error));
  EXPECT_EQ(error.code, ENOENT);
  EXPECT_EQ(error.message, std::strerror(ENOENT));
  EXPECT_FALSE(Fs().Open(dir.Path(), AccessMode::Read, ShareMode::ReadWrite, &error));
  EXPECT_EQ(error.code, EISDIR);
  EXPECT_FALSE(Fs().Open(dir.Path(), AccessMode::ReadWrite, ShareMode::ReadWrite, &error));
  EXPECT_EQ(error.code, EISDIR);
  EXPECT_FALSE(Fs().Create(dir.File("no/such/dir"), &error));
  EXPECT_EQ(error.code, ENOENT);
}

TEST(FileTest, CreateReplacesContentsButNotWhileOpenElsewhere) {
  TempDir dir;
  const std::string path = dir.File("data");
  WriteText(path, "old contents");
  {
    auto reader = Fs().Open(path, AccessMode::Read, ShareMode::ReadWrite, nullptr);
    ASSERT_TRUE(reader);
    OsError error;
    EXPECT_FALSE(Fs().Create(path, &error));
    EXPECT_EQ(error.code, EBUSY);
    EXPECT_STREQ(error.message.c_str(), kSharingViolationText);
    EXPECT_EQ(ReadText(path), "old contents");
  }
  auto file = Fs().Create(path, nullptr);
  ASSERT_TRUE(file);
  EXPECT_EQ(file->Size(), 0);
  // Created files let nobody else in.
  EXPECT_FALSE(Fs().Open(path, AccessMode::Read, ShareMode::ReadWrite, nullptr));
}

TEST(FileTest, ReadOnlyAttributeRenameDeleteExists) {
  TempDir dir;
  const std::string path = dir.File("a");
  EXPECT_FALSE(Fs().Exists(path));
  EXPECT_EQ(Fs().LastError().code, ENOENT);
  WriteText(path, "A");
  WriteText(dir.File("b"), "B");
  EXPECT_TRUE(Fs().Exists(path));
  EXPECT_FALSE(Fs().IsReadOnly(path));
  ASSERT_EQ(chmod(path.c_str(), 0444), 0);
  EXPECT_TRUE(Fs().IsReadOnly(path));
  EXPECT_TRUE(Fs().ClearReadOnly(path));
  EXPECT_FALSE(Fs().IsReadOnly(path));

  // Renaming onto an existing name is refused and loses nothing.
  EXPECT_FALSE(Fs().Rename(path, dir.File("b")));
  EXPECT_EQ(Fs().LastError().code, EEXIST);
  EXPECT_EQ(ReadText(dir.File("b")), "B");
  EXPECT_TRUE(Fs().Rename(path, dir.File("c")));
  EXPECT_FALSE(Fs().Exists(path));
  EXPECT_EQ(ReadText(dir.File("c")), "A");

  EXPECT_TRUE(Fs().Delete(dir.File("c")));
  EXPECT_FALSE(Fs().Exists(dir.File("c")));
  EXPECT_FALSE(Fs().Delete(dir.File("c")));
  EXPECT_EQ(Fs().LastError().code, ENOENT);
}

//! Names in /proc/self/fd that point at `path` (a deleted file shows as "path (deleted)").
int DescriptorsPointingAt(const std::string& path) {
  int found = 0;
  DIR* fds = opendir("/proc/self/fd");
  while (dirent* entry = readdir(fds)) {
    char target[4096];
    std::string link = std::string("/proc/self/fd/") + entry->d_name;
    ssize_t length = readlink(link.c_str(), target, sizeof target - 1);
    if (length <= 0) continue;
    std::string text(target, static_cast<size_t>(length));
    if (text.rfind(path, 0) == 0) ++found;
  }
  closedir(fds);
  return found;
}

TEST(FileTest, SyncDirectoryTakesAnExistingDirectoryAndKeepsNoDescriptor) {
  TempDir dir;
  WriteText(dir.File("data"), "x");
  EXPECT_TRUE(Fs().SyncDirectory(dir.Path()));
  EXPECT_FALSE(Fs().SyncDirectory(dir.File("missing")));
  EXPECT_EQ(Fs().LastError().code, ENOENT);
  EXPECT_FALSE(Fs().SyncDirectory(dir.File("data")));
  EXPECT_EQ(Fs().LastError().code, ENOTDIR);
  FileSystemWrapper wrapper;
  EXPECT_TRUE(wrapper.SyncDirectory(dir.Path()));
  EXPECT_FALSE(wrapper.SyncDirectory(dir.File("missing")));
  EXPECT_EQ(wrapper.LastError().code, ENOENT);
  EXPECT_EQ(DescriptorsPointingAt(dir.Path()), 0);
}

TEST(FileTest, TemporaryFilesLiveInTmpdirAndVanishWhenClosed) {
  TempDir dir;
  const char* oldTmpdir = getenv("TMPDIR");
  std::string saved = oldTmpdir ? oldTmpdir : "";
  setenv("TMPDIR", dir.Path().c_str(), 1);
  OsError error;
  auto first = Fs().CreateTemporary(&error);
  auto second = Fs().CreateTemporary(&error);
  if (oldTmpdir) {
    setenv("TMPDIR", saved.c_str(), 1);
  } else {
    unsetenv("TMPDIR");
  }
  ASSERT_TRUE(first) << error.message;
  ASSERT_TRUE(second);
  EXPECT_EQ(first->Path().rfind(dir.Path() + "/VIZ", 0), 0u) << first->Path();
  EXPECT_NE(first->Path(), second->Path());
  // Nothing is left under the name, even while the file is in use.
  EXPECT_FALSE(Fs().Exists(first->Path()));
  ASSERT_EQ(first->WriteAt("spill", 5, 0), 5);
  char buffer[5];
  ASSERT_EQ(first->ReadAt(buffer, 5, 0), 5);
  EXPECT_EQ(std::string(buffer, 5), "spill");
  EXPECT_EQ(DescriptorsPointingAt(first->Path()), 1);
  const std::string path = first->Path();
  first.reset();
  EXPECT_EQ(DescriptorsPointingAt(path), 0);
  EXPECT_EQ(DescriptorsPointingAt(second->Path()), 1);
}

TEST(FileTest, DescriptorsAreClosedOnExec) {
  TempDir dir;
  WriteText(dir.File("data"), "x");
  auto file = Fs().Open(dir.File("data"), AccessMode::ReadWrite, ShareMode::ReadWrite, nullptr);
  ASSERT_TRUE(file);
  DIR* fds = opendir("/proc/self/fd");
  int checked = 0;
  while (dirent* entry = readdir(fds)) {
    char target[4096];
    std::string link = std::string("/proc/self/fd/") + entry->d_name;
    ssize_t length = readlink(link.c_str(), target, sizeof target - 1);
    if (length <= 0 || std::string(target, static_cast<size_t>(length)) != dir.File("data")) continue;
    int flags = fcntl(std::atoi(entry->d_name), F_GETFD);
    EXPECT_TRUE(flags & FD_CLOEXEC);
    ++checked;
  }
  closedir(fds);
  EXPECT_EQ(checked, 1);
}

//! A file that answers every read with at most `limit` bytes: the kind of double the engine's
//! tests use to prove that callers cope with short reads.
class ShortReadFile : public FileWrapper {
 public:
  ShortReadFile(std::unique_ptr<File> target, int64_t limit)
      : FileWrapper(std::move(target)), limit_(limit) {}
  int64_t ReadAt(void* buffer, int64_t count, int64_t position) override {
    return FileWrapper::ReadAt(buffer, std::min(count, limit_), position);
  }

 private:
  int64_t limit_;
};

TEST(FileTest, WrappersForwardEverythingButWhatTheyOverride) {
  TempDir dir;
  auto file = std::make_unique<ShortReadFile>(Fs().Create(dir.File("data"), nullptr), 2);
  EXPECT_EQ(file->WriteAt("abcdef", 6, 0), 6);
  EXPECT_EQ(file->Size(), 6);
  char buffer[6];
  EXPECT_EQ(file->ReadAt(buffer, 6, 0), 2);
  EXPECT_EQ(file->LockBytes(0, 1), LockResult::Locked);
  EXPECT_TRUE(file->UnlockBytes(0, 1));
  EXPECT_EQ(file->Path(), dir.File("data"));
}

}  // namespace
}  // namespace viz::platform
