// The rollback journal on its own: format checks, play-back, and the commit order under failures
// injected at every write.
#include "engine/storage/rollback_journal.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <random>

#include "engine/types/errors.h"
#include "storage/fault_file_system.h"
#include "storage/storage_test_util.h"
#include "support/temp_dir.h"

namespace viz {
namespace {

using platform::FileSystem;
using testing::FaultFileSystem;
using testing::ReadAllBytes;
using testing::TempDir;
using testing::WriteAllBytes;

std::vector<uint8_t> Pattern(size_t size, uint8_t seed) {
  std::vector<uint8_t> bytes(size);
  for (size_t index = 0; index < size; ++index) bytes[index] = static_cast<uint8_t>(seed + index * 7);
  return bytes;
}

void WriteSampleJournal(const std::string& path, bool seal) {
  TABSJournalWriter writer(FileSystem::Default(), path);
  writer.Begin(256, 100, 3, 5000);
  writer.Append(-1, 100, Pattern(76, 1).data(), 76);
  writer.Append(4, 100 + 380 + 4 * 256, Pattern(256, 2).data(), 256);
  writer.Append(9, 100 + 380 + 9 * 256, Pattern(256, 3).data(), 256);
  if (seal) writer.Seal(false);
}

TEST(RollbackJournalTest, NameSitsBesideTheDatabase) {
  EXPECT_EQ(JournalFileName("/data/LYRIC.SVL"), "/data/LYRIC.SVL-journal");
}

TEST(RollbackJournalTest, SealedJournalReadsBackCompleteWithItsRecords) {
  TempDir dir;
  const std::string path = dir.File("db-journal");
  EXPECT_EQ(ReadJournal(FileSystem::Default(), path).state, TABSJournalState::None);
  WriteSampleJournal(path, true);
  TABSJournalContents contents = ReadJournal(FileSystem::Default(), path);
  ASSERT_EQ(contents.state, TABSJournalState::Complete);
  EXPECT_EQ(contents.pageSize, 256);
  EXPECT_EQ(contents.baseOffset, 100);
  EXPECT_EQ(contents.fileSize, 5000);
  ASSERT_EQ(contents.records.size(), 3u);
  EXPECT_EQ(contents.records[0].pageNo, -1);
  EXPECT_EQ(contents.records[0].offset, 100);
  EXPECT_EQ(contents.records[0].bytes, Pattern(76, 1));
  EXPECT_EQ(contents.records[2].pageNo, 9);
  EXPECT_EQ(contents.records[2].offset, 100 + 380 + 9 * 256);
  EXPECT_EQ(contents.records[2].bytes, Pattern(256, 3));

  std::vector<uint8_t> bytes = ReadAllBytes(path);
  EXPECT_EQ(std::memcmp(bytes.data(), "VIZJOURN", 8), 0);
  EXPECT_EQ(std::memcmp(bytes.data() + bytes.size() - 24, "VIZJDONE", 8), 0);
  EXPECT_EQ(bytes.size(), 48u + 3 * 20 + 76 + 2 * 256 + 24);
}

// The commit record's checksum of everything before it, checked against one plain pass over the
// file's bytes, for records of random lengths (none, odd, repeated, past the write chunk).
TEST(RollbackJournalTest, CommitChecksumCoversEveryByteBeforeIt) {
  TempDir dir;
  std::mt19937 random(7);
  for (int round = 0; round < 6; ++round) {
    const std::string path = dir.File("j" + std::to_string(round));
    const int count = 1 + static_cast<int>(random() % 40);
    std::vector<std::vector<uint8_t>> images;
    for (int n = 0; n < count; ++n) {
      const uint32_t lengths[] = {0, 1, 4096, 4096, static_cast<uint32_t>(random() % 5000),
                                  300 * 1024};
      images.push_back(Pattern(lengths[random() % (round == 0 ? 5 : 6)], static_cast<uint8_t>(n)));
    }
    {
      TABSJournalWriter writer(FileSystem::Default(), path);
      writer.Begin(4096, 0, count, -1);
      for (int n = 0; n < count; ++n)
        writer.Append(n, int64_t{n} * 4096, images[static_cast<size_t>(n)].data(),
                      static_cast<uint32_t>(images[static_cast<size_t>(n)].size()));
      writer.Seal(false);
    }
    const std::vector<uint8_t> bytes = ReadAllBytes(path);
    ASSERT_GE(bytes.size(), 48u + 24u);
    const size_t commitAt = bytes.size() - 24;
    uint32_t stored = 0;
    std::memcpy(&stored, bytes.data() + commitAt + 16, 4);
    const uLong reference = crc32(0, bytes.data(), static_cast<uInt>(commitAt));
    EXPECT_EQ(stored, static_cast<uint32_t>(reference)) << "round " << round;
    TABSJournalContents contents = ReadJournal(FileSystem::Default(), path);
    ASSERT_EQ(contents.state, TABSJournalState::Complete);
    ASSERT_EQ(contents.records.size(), images.size());
    for (size_t n = 0; n < images.size(); ++n) EXPECT_EQ(contents.records[n].bytes, images[n]);
  }
}

TEST(RollbackJournalTest, EveryTornOrDamagedJournalIsIncomplete) {
  TempDir dir;
  const std::string path = dir.File("db-journal");
  WriteSampleJournal(path, false);
  EXPECT_EQ(ReadJournal(FileSystem::Default(), path).state, TABSJournalState::Incomplete);

  WriteSampleJournal(path, true);
  const std::vector<uint8_t> sealed = ReadAllBytes(path);
  ASSERT_EQ(ParseJournal(sealed).state, TABSJournalState::Complete);
  for (size_t length = 0; length < sealed.size(); ++length) {
    std::vector<uint8_t> torn(sealed.begin(), sealed.begin() + length);
    ASSERT_EQ(ParseJournal(torn).state, TABSJournalState::Incomplete) << length;
  }
  for (size_t at = 0; at < sealed.size(); ++at) {
    std::vector<uint8_t> damaged = sealed;
    damaged[at] ^= 0x10;
    ASSERT_EQ(ParseJournal(damaged).state, TABSJournalState::Incomplete) << at;
  }
  WriteAllBytes(path, std::vector<uint8_t>(sealed.begin(), sealed.end() - 1));
  EXPECT_EQ(ReadJournal(FileSystem::Default(), path).state, TABSJournalState::Incomplete);
}

TEST(RollbackJournalTest, RecoveryPlaysBackCompleteAndDiscardsIncompleteJournals) {
  TempDir dir;
  const std::string path = dir.File("db-journal");
  std::vector<TABSJournalRecord> restored;
  int syncs = 0;
  auto restore = [&](const TABSJournalRecord& record) { restored.push_back(record); };
  auto sync = [&] { ++syncs; };

  EXPECT_EQ(RecoverJournal(FileSystem::Default(), path, true, 256, 100, restore, sync),
            TABSJournalRecovery::NoJournal);

  WriteSampleJournal(path, false);
  EXPECT_EQ(RecoverJournal(FileSystem::Default(), path, false, 256, 100, restore, sync),
            TABSJournalRecovery::Discarded);
  EXPECT_TRUE(FileSystem::Default().Exists(path));  // read-only: left alone
  EXPECT_EQ(RecoverJournal(FileSystem::Default(), path, true, 256, 100, restore, sync),
            TABSJournalRecovery::Discarded);
  EXPECT_FALSE(FileSystem::Default().Exists(path));
  EXPECT_TRUE(restored.empty());

  WriteSampleJournal(path, true);
  EXPECT_EQ(RecoverJournal(FileSystem::Default(), path, false, 256, 100, restore, sync),
            TABSJournalRecovery::NotPlayedBack);
  EXPECT_TRUE(FileSystem::Default().Exists(path));
  // A journal written for another page size, base offset or state of the file is never applied.
  EXPECT_EQ(RecoverJournal(FileSystem::Default(), path, true, 512, 100, restore, sync),
            TABSJournalRecovery::Stale);
  EXPECT_FALSE(FileSystem::Default().Exists(path));
  WriteSampleJournal(path, true);
  EXPECT_EQ(RecoverJournal(FileSystem::Default(), path, true, 256, 0, restore, sync),
            TABSJournalRecovery::Stale);
  WriteSampleJournal(path, true);
  EXPECT_EQ(RecoverJournal(FileSystem::Default(), path, true, 256, 100, restore, sync,
                           [](const TABSJournalContents&) { return false; }),
            TABSJournalRecovery::Stale);
  EXPECT_TRUE(restored.empty());
  EXPECT_EQ(syncs, 0);

  WriteSampleJournal(path, true);
  int64_t resizedTo = -1;
  EXPECT_EQ(RecoverJournal(FileSystem::Default(), path, true, 256, 100, restore, sync, nullptr,
                           [&](int64_t size) {
                             EXPECT_TRUE(restored.empty());  // the size comes first
                             resizedTo = size;
                           }),
            TABSJournalRecovery::PlayedBack);
  EXPECT_EQ(resizedTo, 5000);
  EXPECT_EQ(restored.size(), 3u);
  EXPECT_EQ(syncs, 1);
  EXPECT_FALSE(FileSystem::Default().Exists(path));
}

TEST(RollbackJournalTest, WriteFailuresAreReportedWithTheJournalName) {
  TempDir dir;
  FaultFileSystem faulty;
  const std::string path = dir.File("db-journal");
  faulty.FailAtWrite(1);
  TABSJournalWriter creating(faulty, path);
  try {
    creating.Begin(256, 0, 1);
    FAIL();
  } catch (const EABSException& error) {
    EXPECT_EQ(error.NativeErrorCode(), 20301);
    EXPECT_NE(error.Message().find(path), std::string::npos);
  }
  faulty.FailAtWrite(2);
  {
    TABSJournalWriter writing(faulty, path);
    writing.Begin(256, 0, 1);
    writing.Append(3, 380 + 3 * 256, Pattern(256, 1).data(), 256);
    try {
      writing.Seal(true);
      FAIL();
    } catch (const EABSException& error) {
      EXPECT_EQ(error.NativeErrorCode(), 20302);
      EXPECT_NE(error.Message().find("injected failure"), std::string::npos);
    }
  }
  EXPECT_EQ(ReadJournal(FileSystem::Default(), path).state, TABSJournalState::Incomplete);
}

// Records the directories it is asked to sync without touching them.
class DirectorySyncRecorder : public platform::FileSystemWrapper {
 public:
  std::vector<std::string> synced;
  bool SyncDirectory(const std::string& path) override {
    synced.push_back(path);
    return true;
  }
};

TEST(RollbackJournalTest, OnlyAFlushedSealSyncsTheJournalsDirectory) {
  TempDir dir;
  DirectorySyncRecorder recorder;
  for (bool flush : {false, true}) {
    TABSJournalWriter writer(recorder, dir.File("db-journal"));
    writer.Begin(256, 0, 0);
    writer.Seal(flush);
    writer.Remove();
  }
  EXPECT_EQ(recorder.synced, std::vector<std::string>{dir.Path()});

  recorder.synced.clear();
  SyncJournalDirectory(recorder, "/data/LYRIC.SVL-journal");
  SyncJournalDirectory(recorder, "LYRIC.SVL-journal");
  SyncJournalDirectory(recorder, "/LYRIC.SVL-journal");
  EXPECT_EQ(recorder.synced, (std::vector<std::string>{"/data", ".", "/"}));
}

// A miniature commit with the journal's order of work over a plain file of pages: save the previous
// images, seal, overwrite in place, remove the journal. The process "dies" at write number `failAt`;
// recovery must then leave the file exactly as before or exactly as after the commit.
class JournalledCommitTest : public ::testing::Test {
 protected:
  static constexpr uint16_t kPage = 64;
  static constexpr int kPages = 12;

  void SetUp() override {
    dbPath_ = dir_.File("pages.db");
    journalPath_ = JournalFileName(dbPath_);
    before_ = Pattern(kPage * kPages, 5);
    after_ = before_;
    for (int pageNo : changed_) {
      for (int index = 0; index < kPage; ++index)
        after_[pageNo * kPage + index] = static_cast<uint8_t>(~index);
    }
  }

  // Returns true when the commit ran to its end.
  bool RunCommit(FileSystem& fileSystem, bool flush) {
    try {
      platform::OsError error;
      auto db =
          fileSystem.Open(dbPath_, platform::AccessMode::ReadWrite, platform::ShareMode::ReadWrite, &error);
      TABSJournalWriter journal(fileSystem, journalPath_);
      journal.Begin(kPage, 0, static_cast<int32_t>(changed_.size()));
      std::vector<uint8_t> image(kPage);
      for (int pageNo : changed_) {
        db->ReadAt(image.data(), kPage, pageNo * kPage);
        journal.Append(pageNo, pageNo * kPage, image.data(), kPage);
      }
      journal.Seal(flush);
      for (int pageNo : changed_) {
        if (db->WriteAt(after_.data() + pageNo * kPage, kPage, pageNo * kPage) != kPage) return false;
      }
      if (flush && !db->Flush()) return false;
      journal.Remove();
      if (flush) SyncJournalDirectory(fileSystem, journalPath_);
      return true;
    } catch (const EABSException&) {
      return false;
    }
  }

  void Recover() {
    platform::OsError error;
    auto db = FileSystem::Default().Open(dbPath_, platform::AccessMode::ReadWrite,
                                         platform::ShareMode::ReadWrite, &error);
    ASSERT_TRUE(db);
    RecoverJournal(
        FileSystem::Default(), journalPath_, true, kPage, 0,
        [&](const TABSJournalRecord& record) {
          ASSERT_EQ(
              db->WriteAt(record.bytes.data(), static_cast<int64_t>(record.bytes.size()), record.offset),
              static_cast<int64_t>(record.bytes.size()));
        },
        [&] { db->Flush(); });
    EXPECT_FALSE(FileSystem::Default().Exists(journalPath_));
  }

  TempDir dir_;
  std::string dbPath_;
  std::string journalPath_;
  std::vector<int> changed_{1, 4, 5, 11};
  std::vector<uint8_t> before_;
  std::vector<uint8_t> after_;
};

TEST_F(JournalledCommitTest, DyingAtAnyWriteLeavesTheStateBeforeOrAfter) {
  for (bool flush : {false, true}) {
    FaultFileSystem counting;
    WriteAllBytes(dbPath_, before_);
    counting.FailAtWrite(0);
    ASSERT_TRUE(RunCommit(counting, flush));
    const int64_t totalWrites = counting.Writes();
    ASSERT_GT(totalWrites, 3);

    int sawBefore = 0;
    int sawAfter = 0;
    for (int64_t failAt = 1; failAt <= totalWrites + 1; ++failAt) {
      WriteAllBytes(dbPath_, before_);
      FaultFileSystem faulty;
      faulty.FailAtWrite(failAt);
      bool finished = RunCommit(faulty, flush);
      Recover();
      std::vector<uint8_t> now = ReadAllBytes(dbPath_);
      if (now == before_) {
        ++sawBefore;
        EXPECT_FALSE(finished) << failAt;
      } else {
        ++sawAfter;
        EXPECT_EQ(now, after_) << "torn state after dying at write " << failAt;
      }
    }
    EXPECT_GT(sawBefore, 0);
    EXPECT_GT(sawAfter, 0);  // the last round never dies
  }
}

}  // namespace
}  // namespace viz
