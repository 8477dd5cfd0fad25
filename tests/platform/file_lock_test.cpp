// Byte locks and share modes, within this process and against real child processes.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "engine/platform/file.h"
#include "support/child_process.h"
#include "support/temp_dir.h"

namespace viz::platform {
namespace {

using viz::testing::ChildProcess;
using viz::testing::TempDir;

FileSystem& Fs() {
  return FileSystem::Default();
}

const char* LockText(LockResult result) {
  switch (result) {
    case LockResult::Locked:
      return "locked";
    case LockResult::Refused:
      return "refused";
    case LockResult::Unsupported:
      return "unsupported";
  }
  return "?";
}

// A child that opens the file named by its argument and obeys line commands:
//   open <access> <share> | create | lock <position> <count> | unlock <position> <count> | close
//   | nobody (give up root rights)
VIZ_CHILD_ROLE(file_holder) {
  const std::string path = args.at(0);
  std::unique_ptr<File> file;
  std::string line;
  while (viz::testing::ReadCommand(&line)) {
    std::istringstream in(line);
    std::string command;
    in >> command;
    if (command == "open" || command == "create") {
      OsError error;
      if (command == "open") {
        int access = 0, share = 0;
        in >> access >> share;
        file = Fs().Open(path, static_cast<AccessMode>(access), static_cast<ShareMode>(share), &error);
      } else {
        file = Fs().Create(path, &error);
      }
      viz::testing::Reply(file ? "ok" : "fail " + std::to_string(error.code));
    } else if (command == "lock" || command == "unlock") {
      int64_t position = 0, count = 0;
      in >> position >> count;
      if (!file) {
        viz::testing::Reply("no file");
      } else if (command == "lock") {
        viz::testing::Reply(LockText(file->LockBytes(position, count)));
      } else {
        viz::testing::Reply(file->UnlockBytes(position, count) ? "ok" : "fail");
      }
    } else if (command == "nobody") {
      // Runs on as an ordinary user, so that permissions apply even when the tests run as root.
      bool dropped = geteuid() != 0 || (setgid(65534) == 0 && setuid(65534) == 0);
      viz::testing::Reply(dropped ? "ok" : "fail");
    } else if (command == "close") {
      file.reset();
      viz::testing::Reply("ok");
    } else {
      viz::testing::Reply("unknown command");
    }
  }
  return 0;
}

class FileLockTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.File("shared.db");
    std::ofstream(path_) << "0123456789";
  }

  std::unique_ptr<File> OpenShared() {
    OsError error;
    auto file = Fs().Open(path_, AccessMode::ReadWrite, ShareMode::ReadWrite, &error);
    EXPECT_TRUE(file) << error.message;
    return file;
  }

  TempDir dir_;
  std::string path_;
};

TEST_F(FileLockTest, SecondAttemptFailsEvenFromTheSameFile) {
  auto file = OpenShared();
  auto other = OpenShared();
  ASSERT_EQ(file->LockBytes(360, 1), LockResult::Locked);
  EXPECT_EQ(file->LockBytes(360, 1), LockResult::Refused);
  EXPECT_EQ(other->LockBytes(360, 1), LockResult::Refused);
  // Overlapping ranges are refused, neighbouring bytes are free.
  EXPECT_EQ(other->LockBytes(355, 10), LockResult::Refused);
  EXPECT_EQ(file->LockBytes(359, 1), LockResult::Locked);
  EXPECT_EQ(other->LockBytes(361, 1), LockResult::Locked);
  // Only the holder can unlock, and only what it holds.
  EXPECT_FALSE(other->UnlockBytes(360, 1));
  EXPECT_FALSE(file->UnlockBytes(400, 1));
  EXPECT_TRUE(file->UnlockBytes(360, 1));
  EXPECT_FALSE(file->UnlockBytes(360, 1));
  EXPECT_EQ(other->LockBytes(360, 1), LockResult::Locked);
  // Locks go with the file object.
  file.reset();
  EXPECT_EQ(other->LockBytes(359, 1), LockResult::Locked);
}

TEST_F(FileLockTest, LockHeldByChildRefusedUntilTheChildIsKilled) {
  ChildProcess child("file_holder", {path_});
  ASSERT_EQ(child.Ask("open 1 1"), "ok");
  ASSERT_EQ(child.Ask("lock 360 1"), "locked");
  auto file = OpenShared();
  EXPECT_EQ(file->LockBytes(360, 1), LockResult::Refused);
  EXPECT_EQ(file->LastError().code == EAGAIN || file->LastError().code == EACCES, true);
  EXPECT_EQ(file->LockBytes(361, 1), LockResult::Locked);
  // The child cannot take what this process holds either.
  EXPECT_EQ(child.Ask("lock 361 1"), "refused");

  child.Kill();
  EXPECT_EQ(file->LockBytes(360, 1), LockResult::Locked);
}

TEST_F(FileLockTest, UnlockAndCloseInTheChildReleaseTheLock) {
  ChildProcess child("file_holder", {path_});
  ASSERT_EQ(child.Ask("open 1 1"), "ok");
  ASSERT_EQ(child.Ask("lock 10 5"), "locked");
  auto file = OpenShared();
  EXPECT_EQ(file->LockBytes(12, 1), LockResult::Refused);
  ASSERT_EQ(child.Ask("unlock 10 5"), "ok");
  EXPECT_EQ(file->LockBytes(12, 1), LockResult::Locked);
  ASSERT_EQ(child.Ask("lock 20 1"), "locked");
  ASSERT_EQ(child.Ask("close"), "ok");
  EXPECT_EQ(file->LockBytes(20, 1), LockResult::Locked);
  EXPECT_EQ(child.Finish(), 0);
}

TEST_F(FileLockTest, ClosingAnotherDescriptorOfTheFileKeepsTheLock) {
  auto file = OpenShared();
  ASSERT_EQ(file->LockBytes(360, 1), LockResult::Locked);
  // Another file object of this process, and a plain descriptor, opened and closed.
  OpenShared().reset();
  int fd = open(path_.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  close(fd);

  ChildProcess child("file_holder", {path_});
  ASSERT_EQ(child.Ask("open 1 1"), "ok");
  EXPECT_EQ(child.Ask("lock 360 1"), "refused");
  EXPECT_EQ(file->LockBytes(360, 1), LockResult::Refused);
  file.reset();
  EXPECT_EQ(child.Ask("lock 360 1"), "locked");
}

TEST_F(FileLockTest, ReservedRangeCannotBeLocked) {
  auto file = OpenShared();
  EXPECT_EQ(file->LockBytes(int64_t{1} << 62, 1), LockResult::Refused);
  EXPECT_EQ(file->LockBytes(0, 0), LockResult::Refused);
  EXPECT_EQ(file->LockBytes(-1, 1), LockResult::Refused);
  EXPECT_EQ(file->LastError().code, EINVAL);
}

TEST_F(FileLockTest, ReadOnlyOpensStillLockWhenTheFileIsWritable) {
  auto reader = Fs().Open(path_, AccessMode::Read, ShareMode::ReadWrite, nullptr);
  ASSERT_TRUE(reader);
  EXPECT_EQ(reader->LockBytes(5, 1), LockResult::Locked);
  auto writer = OpenShared();
  EXPECT_EQ(writer->LockBytes(5, 1), LockResult::Refused);
}

TEST_F(FileLockTest, FilesNobodyMayWriteReportLockingUnsupported) {
  // Only a descriptor open for writing can hold an exclusive lock.
  ASSERT_EQ(chmod(path_.c_str(), 0444), 0);
  ASSERT_EQ(chmod(dir_.Path().c_str(), 0755), 0);
  ChildProcess child("file_holder", {path_});
  ASSERT_EQ(child.Ask("nobody"), "ok");
  EXPECT_EQ(child.Ask("open 1 1"), "fail " + std::to_string(EACCES));
  ASSERT_EQ(child.Ask("open 0 1"), "ok");
  EXPECT_EQ(child.Ask("lock 360 1"), "unsupported");
  // Its share mode still counts, both ways.
  EXPECT_FALSE(Fs().Open(path_, AccessMode::Read, ShareMode::None, nullptr));
  ASSERT_EQ(child.Ask("close"), "ok");
  auto exclusive = Fs().Open(path_, AccessMode::Read, ShareMode::None, nullptr);
  ASSERT_TRUE(exclusive);
  EXPECT_EQ(child.Ask("open 0 1"), "fail " + std::to_string(EBUSY));
  exclusive.reset();
  EXPECT_EQ(child.Ask("open 0 1"), "ok");
}

// Whether a second open is allowed next to a first one, written from the rule: each open must let
// the other do what it does (read always, write when opened for writing).
bool Compatible(AccessMode firstAccess, ShareMode firstShare, AccessMode secondAccess,
                ShareMode secondShare) {
  auto lets = [](ShareMode share, AccessMode access) {
    if (share == ShareMode::None) return false;
    if (share == ShareMode::Read) return access == AccessMode::Read;
    return true;
  };
  return lets(firstShare, secondAccess) && lets(secondShare, firstAccess);
}

TEST_F(FileLockTest, ShareModeMatrixWithinOneProcess) {
  const AccessMode accesses[] = {AccessMode::Read, AccessMode::ReadWrite};
  const ShareMode shares[] = {ShareMode::None, ShareMode::ReadWrite, ShareMode::Read};
  for (AccessMode firstAccess : accesses) {
    for (ShareMode firstShare : shares) {
      for (AccessMode secondAccess : accesses) {
        for (ShareMode secondShare : shares) {
          SCOPED_TRACE(::testing::Message() << "first " << int(firstAccess) << "/" << int(firstShare)
                                            << ", second " << int(secondAccess) << "/" << int(secondShare));
          auto first = Fs().Open(path_, firstAccess, firstShare, nullptr);
          ASSERT_TRUE(first);
          OsError error;
          auto second = Fs().Open(path_, secondAccess, secondShare, &error);
          EXPECT_EQ(second != nullptr, Compatible(firstAccess, firstShare, secondAccess, secondShare));
          if (!second) {
            EXPECT_EQ(error.code, EBUSY);
          }
        }
      }
    }
  }
}

// The lock bytes an open holds, as other openers see them one byte at a time: reader, writer,
// forbids readers, forbids writers (the guard is free again once the open returns).
TEST_F(FileLockTest, EveryOpenHoldsExactlyItsShareModeBytes) {
  const AccessMode accesses[] = {AccessMode::Read, AccessMode::ReadWrite};
  const ShareMode shares[] = {ShareMode::None, ShareMode::ReadWrite, ShareMode::Read};
  const int probe = open(path_.c_str(), O_RDWR | O_CLOEXEC);
  ASSERT_GE(probe, 0);
  for (AccessMode access : accesses) {
    for (ShareMode share : shares) {
      SCOPED_TRACE(::testing::Message() << int(access) << "/" << int(share));
      auto file = Fs().Open(path_, access, share, nullptr);
      ASSERT_TRUE(file);
      const bool expected[] = {false, true, access == AccessMode::ReadWrite, share == ShareMode::None,
                               share != ShareMode::ReadWrite};
      for (int byte = 0; byte < 6; ++byte) {
        struct flock lock {};
        lock.l_type = F_WRLCK;
        lock.l_whence = SEEK_SET;
        lock.l_start = static_cast<off_t>((int64_t{1} << 62) + byte);
        lock.l_len = 1;
        ASSERT_EQ(fcntl(probe, F_OFD_GETLK, &lock), 0);
        EXPECT_EQ(lock.l_type != F_UNLCK, byte < 5 && expected[byte]) << "byte " << byte;
      }
    }
  }
  close(probe);
}

TEST_F(FileLockTest, ExclusiveOpenInAChildShutsOthersOutUntilItEnds) {
  ChildProcess child("file_holder", {path_});
  ASSERT_EQ(child.Ask("open 1 0"), "ok");
  OsError error;
  EXPECT_FALSE(Fs().Open(path_, AccessMode::Read, ShareMode::ReadWrite, &error));
  EXPECT_EQ(error.code, EBUSY);
  EXPECT_EQ(error.message, kSharingViolationText);
  EXPECT_FALSE(Fs().Open(path_, AccessMode::ReadWrite, ShareMode::ReadWrite, nullptr));
  EXPECT_FALSE(Fs().Create(path_, nullptr));
  child.Kill();
  EXPECT_TRUE(Fs().Open(path_, AccessMode::ReadWrite, ShareMode::ReadWrite, nullptr));
}

TEST_F(FileLockTest, SharedOpensAcrossProcesses) {
  ChildProcess child("file_holder", {path_});
  // Two read-write opens that share read and write coexist.
  ASSERT_EQ(child.Ask("open 1 1"), "ok");
  auto file = OpenShared();
  ASSERT_TRUE(file);
  // A child that would forbid writers is refused while this process writes.
  ASSERT_EQ(child.Ask("close"), "ok");
  EXPECT_EQ(child.Ask("open 0 2"), "fail " + std::to_string(EBUSY));
  EXPECT_EQ(child.Ask("open 0 0"), "fail " + std::to_string(EBUSY));
  EXPECT_EQ(child.Ask("create"), "fail " + std::to_string(EBUSY));
  file.reset();

  // A child that only lets others read blocks writers here, but not readers that let it read.
  ASSERT_EQ(child.Ask("open 0 2"), "ok");
  EXPECT_FALSE(Fs().Open(path_, AccessMode::ReadWrite, ShareMode::ReadWrite, nullptr));
  EXPECT_TRUE(Fs().Open(path_, AccessMode::Read, ShareMode::Read, nullptr));
  EXPECT_TRUE(Fs().Open(path_, AccessMode::Read, ShareMode::ReadWrite, nullptr));
  EXPECT_FALSE(Fs().Open(path_, AccessMode::Read, ShareMode::None, nullptr));
  ASSERT_EQ(child.Ask("close"), "ok");
  EXPECT_TRUE(Fs().Open(path_, AccessMode::ReadWrite, ShareMode::None, nullptr));
}

}  // namespace
}  // namespace viz::platform
