// Internal files: the transacted kind (through the page cache, part of a session's transaction,
// optionally compressed) and the direct kind (byte-wise in the file, plain, byte locks), checked
// byte for byte on disk, against a reference model, across processes and across crashes.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <random>

#include "engine/storage/disk/direct_file.h"
#include "engine/storage/disk/transacted_file.h"
#include "engine/storage/free_space_manager.h"
#include "engine/tables/compression.h"
#include "storage/disk/disk_test_util.h"
#include "storage/fault_file_system.h"
#include "support/child_process.h"
#include "support/temp_dir.h"

namespace viz {
namespace {

using namespace file_format;
using testing::ErrorOf;
using ::testing::HasSubstr;
using testing::OpenDatabase;
using testing::TempDir;

constexpr int32_t kD = 4056;  // data area of a 4096-byte page
constexpr int32_t kSession = 1;

std::vector<uint8_t> Pattern(size_t size, uint32_t seed) {
  std::vector<uint8_t> bytes(size);
  std::mt19937 random(seed);
  for (uint8_t& byte : bytes) byte = static_cast<uint8_t>(random());
  return bytes;
}

class InternalFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.File("files.vdb");
    testing::CreateDatabase(path_);
  }
  TempDir dir_;
  std::string path_;
};

TEST_F(InternalFileTest, TransactedChainHeaderAndLinksAreLaidOutByteForByte) {
  const std::vector<uint8_t> content = Pattern(5000, 1);
  int32_t start = -1;
  {
    OpenDatabase db(path_);
    TABSInternalDBTransactedAccessFile file(db.manager, ptTableMetaData);
    file.Create(kSession);
    file.WriteFile(kSession, content.data(), 0, 0, 5000);
    start = file.StartPageNo();
    db.manager.Commit(kSession);
  }
  const std::vector<uint8_t> first = testing::RawPage(path_, start);
  EXPECT_EQ(GetU16(&first[8]), ptTableMetaData);
  const int32_t second = GetI32(&first[10]);
  // 10, size 5000 = 0x1388, uncompressed 5000, type 0.
  const std::vector<uint8_t> header{0x0A, 0x88, 0x13, 0, 0, 0x88, 0x13, 0, 0, 0x00};
  EXPECT_EQ(std::vector<uint8_t>(first.begin() + 40, first.begin() + 50), header);
  EXPECT_TRUE(std::equal(first.begin() + 50, first.end(), content.begin()));
  const std::vector<uint8_t> next = testing::RawPage(path_, second);
  EXPECT_EQ(GetU16(&next[8]), ptTableMetaData);
  EXPECT_EQ(GetI32(&next[10]), -1);
  EXPECT_TRUE(
      std::equal(next.begin() + 40, next.begin() + 40 + (5000 - (kD - 10)), content.begin() + (kD - 10)));
  EXPECT_THAT(testing::CheckerProblems(path_), ::testing::IsEmpty());
}

TEST_F(InternalFileTest, TransactedFileGrowsByAppendingAndShrinksAtCommit) {
  OpenDatabase db(path_);
  TABSDatabaseFreeSpaceManager& freeSpace = *db.manager.FreeSpaceManager();
  TABSInternalDBTransactedAccessFile file(db.manager, ptTableMetaData);
  file.Create(kSession);
  file.WriteFile(kSession, nullptr, 0, 0, 0);
  db.manager.Commit(kSession);
  EXPECT_EQ(file.ChainPages(kSession).size(), 1u);
  EXPECT_EQ(file.GetSize(kSession).storedSize, 0);

  // (2 * D + 1 + 10) bytes need three pages.
  const std::vector<uint8_t> big = Pattern(2 * kD + 1, 2);
  file.WriteFile(kSession, big.data(), 0, 0, static_cast<int32_t>(big.size()));
  db.manager.Commit(kSession);
  const std::vector<int32_t> chain = file.ChainPages(kSession);
  ASSERT_EQ(chain.size(), 3u);
  EXPECT_EQ(chain[0], file.StartPageNo());

  const std::vector<uint8_t> small = Pattern(kD - 10, 3);  // exactly the first page
  file.WriteFile(kSession, small.data(), 0, 0, static_cast<int32_t>(small.size()));
  EXPECT_TRUE(freeSpace.IsPageUsed(chain[1]) && freeSpace.IsPageUsed(chain[2]));
  db.manager.Commit(kSession);
  EXPECT_FALSE(freeSpace.IsPageUsed(chain[1]) || freeSpace.IsPageUsed(chain[2]));
  EXPECT_EQ(file.ReadAll(kSession), small);

  // A rollback keeps the pages a shrink gave up and frees the pages a growth added.
  file.WriteFile(kSession, big.data(), 0, 0, static_cast<int32_t>(big.size()));
  const std::vector<int32_t> grown = file.ChainPages(kSession);
  db.manager.Rollback(kSession);
  EXPECT_FALSE(freeSpace.IsPageUsed(grown[1]) || freeSpace.IsPageUsed(grown[2]));
  EXPECT_EQ(file.ReadAll(kSession), small);

  file.Delete(kSession);
  EXPECT_FALSE(file.IsOpened());
  db.manager.Commit(kSession);
  EXPECT_FALSE(freeSpace.IsPageUsed(chain[0]));
}

TEST_F(InternalFileTest, CompressedContentRoundTripsForEveryAlgorithmAndSize) {
  OpenDatabase db(path_);
  TABSInternalDBTransactedAccessFile file(db.manager, ptTableMetaData);
  file.Create(kSession);
  for (uint8_t algorithm : {acaNone, acaZlib, acaBZip, acaPPM}) {
    for (int32_t size : {0, 1, kD - 10, kD - 9, 3 * kD + 17, 70000}) {
      std::vector<uint8_t> content = Pattern(static_cast<size_t>(size), size);
      for (size_t index = 0; index < content.size(); index += 3) content[index] = 'a';  // compressible
      file.WriteFile(kSession, content.data(), 1, algorithm, size);
      const TABSInternalFileHeader header = file.GetSize(kSession);
      const std::string context = "algorithm " + std::to_string(algorithm) + ", size " + std::to_string(size);
      EXPECT_EQ(header.uncompressedSize, size) << context;
      EXPECT_EQ(header.compressionType, size == 0 ? 0 : algorithm) << context;
      if (algorithm != acaNone && size > 1000) {
        EXPECT_LT(header.storedSize, size) << context;
      }
      EXPECT_EQ(file.ChainPages(kSession).size(), InternalFilePageCount(header.storedSize, kD)) << context;
      EXPECT_EQ(file.ReadAll(kSession), content) << context;
      // A shorter read gives the content's beginning.
      std::vector<uint8_t> part(static_cast<size_t>(size / 2));
      file.ReadFile(kSession, part.data(), size / 2);
      EXPECT_TRUE(std::equal(part.begin(), part.end(), content.begin())) << context;
    }
  }
  db.manager.Commit(kSession);
}

TEST_F(InternalFileTest, TransactedFileErrorsCarryTheirCodesAndNumbers) {
  OpenDatabase db(path_);
  TABSInternalDBTransactedAccessFile file(db.manager, ptTableMetaData);
  uint8_t buffer[8000] = {};
  for (auto [operation, action] : std::vector<std::pair<const char*, std::function<void()>>>{
           {"ReadFile", [&] { file.ReadFile(kSession, buffer, 1); }},
           {"WriteFile", [&] { file.WriteFile(kSession, buffer, 0, 0, 1); }},
           {"SetSize", [&] { file.SetSize(kSession, 1, 0, 1); }},
           {"GetSize", [&] { file.GetSize(kSession); }},
           {"Delete", [&] { file.Delete(kSession); }}}) {
    auto [code, text] = ErrorOf(action);
    EXPECT_EQ(code, 30389) << operation;
    EXPECT_THAT(text, HasSubstr(std::string("Cannot perform this operation (") + operation +
                                ") on closed internal file"));
  }
  file.Create(kSession);
  auto exists = ErrorOf([&] { file.Create(kSession); });
  EXPECT_EQ(exists.first, 30383);
  EXPECT_THAT(exists.second, HasSubstr("Cannot create Internal file. File already exists. StartPageNo=" +
                                       std::to_string(file.StartPageNo())));

  file.WriteFile(kSession, buffer, 0, 0, 6000);
  auto tooLong = ErrorOf([&] { file.ReadFile(kSession, buffer, 6001); });
  EXPECT_EQ(tooLong.first, 30387);
  EXPECT_THAT(tooLong.second, HasSubstr("Cannot Read internal file. FileSize=6000. ReadSize=6001"));

  // A chain cut short of its size: the three numbers are to read, read, and to read again.
  TABSPage* first = db.manager.GetPage(kSession, file.StartPageNo());
  const int32_t second = first->GetNextPageNo();
  first->SetNextPageNo(-1);
  first->MarkDirty();
  db.manager.ReleasePage(first);
  auto cut = ErrorOf([&] { file.ReadFile(kSession, buffer, 5000); });
  EXPECT_EQ(cut.first, 30388);
  EXPECT_THAT(cut.second,
              HasSubstr("BytesToRead=5000, BytesRead=" + std::to_string(kD - 10) + ", ReadSize=5000"));
  EXPECT_EQ(ErrorOf([&] { file.ReadAll(kSession); }).first, 30388);
  db.manager.RemovePage(kSession, second);

  // Damaged compressed bytes.
  std::vector<uint8_t> text(3000, 'x');
  file.WriteFile(kSession, text.data(), 1, acaZlib, 3000);
  TABSPage* page = db.manager.GetPage(kSession, file.StartPageNo());
  for (int at = 12; at < 30; ++at) page->Data()[at] ^= 0x5A;
  page->MarkDirty();
  db.manager.ReleasePage(page);
  auto damaged = ErrorOf([&] { file.ReadFile(kSession, text.data(), 3000); });
  EXPECT_EQ(damaged.first, 20189);
  EXPECT_THAT(damaged.second, HasSubstr("Table file decompression error. Probably table is corrupted"));
  EXPECT_EQ(ErrorOf([&] { file.WriteFile(kSession, text.data(), 1, 9, 3000); }).first, 20187);

  db.manager.Rollback(kSession);

  // A page of another type is refused when it is read from the file.
  TABSInternalDBTransactedAccessFile committed(db.manager, ptTableMetaData);
  committed.Create(kSession);
  db.manager.Commit(kSession);
  OpenDatabase fresh(path_);
  TABSInternalDBTransactedAccessFile wrongType(fresh.manager, ptTableList);
  wrongType.Open(committed.StartPageNo());
  EXPECT_EQ(ErrorOf([&] { wrongType.GetSize(kSession); }).first, 20153);
}

// Random writes in two sessions with commits and rollbacks, compared with what each session must
// see: its own uncommitted content, else the committed one.
TEST_F(InternalFileTest, RandomWritesMatchAModelOfCommittedAndPrivateContent) {
  OpenDatabase db(path_);
  std::mt19937 random(42);
  constexpr int kFiles = 3;
  std::vector<TABSInternalDBTransactedAccessFile> files;
  std::vector<std::vector<uint8_t>> committed(kFiles);
  for (int index = 0; index < kFiles; ++index) {
    files.emplace_back(db.manager, ptTableMetaData);
    files.back().Create(kSystemSession);
  }
  db.manager.Commit(kSystemSession);
  // session -> file -> its uncommitted content
  std::map<int32_t, std::map<int, std::vector<uint8_t>>> pending;
  for (int step = 0; step < 300; ++step) {
    const int32_t session = 1 + static_cast<int32_t>(random() % 2);
    const int index = static_cast<int>(random() % kFiles);
    const int action = static_cast<int>(random() % 10);
    if (action < 5) {
      // A file is written by one session at a time: pages are private to the session using them.
      const int32_t other = 3 - session;
      if (pending[other].count(index)) continue;
      const size_t size = random() % 3 == 0 ? random() % 20 : random() % (3 * kD);
      std::vector<uint8_t> content = Pattern(size, step);
      const uint8_t algorithm = static_cast<uint8_t>(random() % 4);
      files[index].WriteFile(session, content.data(), 1, algorithm, static_cast<int32_t>(size));
      pending[session][index] = std::move(content);
    } else if (action < 7) {
      db.manager.Commit(session);
      for (auto& [file, content] : pending[session]) committed[file] = content;
      pending[session].clear();
    } else if (action < 8) {
      db.manager.Rollback(session);
      pending[session].clear();
    } else {
      auto own = pending[session].find(index);
      const std::vector<uint8_t>& expected = own != pending[session].end() ? own->second : committed[index];
      ASSERT_EQ(files[index].ReadAll(session), expected) << "step " << step;
    }
  }
  db.manager.Commit(1);
  db.manager.Commit(2);
  EXPECT_THAT(testing::CheckerProblems(path_), ::testing::IsEmpty());
}

TEST_F(InternalFileTest, DirectFileIsPlainByteAddressedAndBoundedByItsSize) {
  const TABSPassword password{"secret", 1};
  testing::CreateDatabase(path_, password);
  OpenDatabase db(path_, true, nullptr, password);
  TABSInternalDBDirectAccessFile file(db.manager, ptTableLocks);
  file.Create(5000);
  db.manager.Commit(kSystemSession);
  ASSERT_EQ(file.Pages().size(), 2u);
  const int32_t second = file.Pages()[1];

  // Header 10, size, 0, 0; the link; plain pages even in an enciphered database.
  std::vector<uint8_t> first = testing::RawPage(path_, file.StartPageNo());
  EXPECT_EQ(std::vector<uint8_t>(first.begin() + 40, first.begin() + 50),
            (std::vector<uint8_t>{0x0A, 0x88, 0x13, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(GetI32(&first[10]), second);
  EXPECT_EQ(first[kPageCipherTypeOffset], 0);

  const std::vector<uint8_t> content = Pattern(5000, 9);
  EXPECT_EQ(file.DirectWriteBuffer(content.data(), 5000, 0), 5000);
  // Position D - 10 is the first byte of the second page, at page offset 40.
  EXPECT_EQ(testing::RawPage(path_, second)[40], content[kD - 10]);
  EXPECT_EQ(testing::RawPage(path_, file.StartPageNo())[50], content[0]);
  std::vector<uint8_t> back(6000);
  EXPECT_EQ(file.DirectReadBuffer(back.data(), 6000, 0), 5000);  // never past the end
  EXPECT_TRUE(std::equal(content.begin(), content.end(), back.begin()));
  EXPECT_EQ(file.DirectReadBuffer(back.data(), 10, 5000), 0);

  EXPECT_EQ(file.DirectWriteBuffer("z", 1, 4999), 1);
  auto pastEnd = ErrorOf([&] { file.DirectWriteBuffer("zz", 2, 4999); });
  EXPECT_EQ(pastEnd.first, 20158);
  EXPECT_THAT(pastEnd.second,
              HasSubstr("Cannot write after end of file. FileSize=5000. Position=4999, Count=2"));
  auto beyond = ErrorOf([&] { file.DirectReadBuffer(back.data(), 1, 5001); });
  EXPECT_EQ(beyond.first, 20159);
  EXPECT_THAT(beyond.second, HasSubstr("Seek position bigger then file size. FileSize=5000. Position=5001"));
  EXPECT_EQ(ErrorOf([&] { file.LockByte(5000); }).first, 20159);
  EXPECT_EQ(ErrorOf([&] { file.Create(10); }).first, 20157);

  // Reopened, the chain and size come back from the file; the transacted view of another type is
  // refused before any byte moves.
  TABSInternalDBDirectAccessFile again(db.manager, ptTableLocks);
  auto closed = ErrorOf([&] { again.DirectReadBuffer(back.data(), 1, 0); });
  EXPECT_EQ(closed.first, 20156);
  EXPECT_THAT(closed.second,
              HasSubstr("Cannot perform this operation (DirectReadBuffer) on closed internal file"));
  again.Open(file.StartPageNo());
  EXPECT_EQ(again.Size(), 5000);
  EXPECT_EQ(again.Pages(), file.Pages());
  EXPECT_EQ(again.DirectReadBuffer(back.data(), 2, kD - 11), 2);
  EXPECT_EQ(back[0], content[kD - 11]);
  TABSInternalDBDirectAccessFile wrong(db.manager, ptActiveSessionList);
  auto type = ErrorOf([&] { wrong.Open(file.StartPageNo()); });
  EXPECT_EQ(type.first, 20155);
  EXPECT_THAT(type.second, HasSubstr("Invalid PageType found: 7 but wanted: 5"));
  EXPECT_FALSE(wrong.IsOpened());
}

TEST_F(InternalFileTest, DirectFileLocksBytesAndRegionsAcrossPages) {
  OpenDatabase db(path_);
  TABSInternalDBDirectAccessFile file(db.manager, ptTableLocks);
  file.Create(2 * kD);
  db.manager.Commit(kSystemSession);
  TABSInternalDBDirectAccessFile other(db.manager, ptTableLocks);
  other.Open(file.StartPageNo());

  const int32_t inSecondPage = kD - 10 + 3;
  EXPECT_FALSE(file.IsRegionLocked(0, 2 * kD));
  EXPECT_FALSE(file.IsRegionLocked(5, 0));
  ASSERT_TRUE(file.LockByte(inSecondPage));
  EXPECT_FALSE(other.LockByte(inSecondPage));  // held, also within this process
  EXPECT_TRUE(other.IsByteLocked(inSecondPage));
  EXPECT_TRUE(other.IsRegionLocked(kD - 20, 30));  // the piece in the second page sees it
  EXPECT_FALSE(other.IsRegionLocked(0, kD - 10));
  // A region lock takes all of its pieces or none.
  EXPECT_FALSE(other.LockRegion(0, 2 * kD));
  EXPECT_FALSE(file.IsRegionLocked(0, kD - 10));
  EXPECT_TRUE(other.LockRegion(0, kD - 10));  // the whole first page
  EXPECT_TRUE(file.IsByteLocked(17));
  EXPECT_TRUE(other.UnlockRegion(0, kD - 10));
  EXPECT_TRUE(file.UnlockByte(inSecondPage));
  EXPECT_FALSE(file.UnlockByte(inSecondPage));
  ASSERT_TRUE(file.LockFile());
  EXPECT_FALSE(other.LockFile());
  EXPECT_TRUE(file.UnlockFile());
  EXPECT_FALSE(file.IsRegionLocked(0, 2 * kD));
}

// A transacted file written by a session of another process stays invisible here until it commits.
TEST(InternalFileProcessTest, UncommittedWritesOfAnotherProcessAreInvisibleUntilCommit) {
  TempDir dir;
  const std::string path = dir.File("shared.vdb");
  testing::CreateCatalogDatabase(path);
  testing::CatalogDatabase here(path);
  TABSInternalDBTransactedAccessFile metadata = here.Metadata(0);
  const std::string before = testing::ContentText(metadata, kSession);

  testing::ChildProcess child("peer", {path});
  ASSERT_EQ(child.ReadLine(), "ready");
  const std::string long_text(9000, 'q');
  ASSERT_EQ(child.Ask("write 0 " + long_text), "ok");
  EXPECT_EQ(child.Ask("read 0"), long_text);
  EXPECT_EQ(testing::ContentText(metadata, kSession), before);
  ASSERT_EQ(child.Ask("commit"), "ok");
  EXPECT_EQ(testing::ContentText(metadata, kSession), long_text);
}

// Rewrites T0's metadata file with the file system dying at each write of the commit in turn: the
// file reads as before or as after, never as a mixture, and the checker finds the database sound.
// Growing allocates the new pages before the commit (durably); a commit that dies before its
// journal is sealed leaves them allocated but never written, which the checker reports and nothing
// else: that is the only problem allowed there. The content is not a table's definitions, so the
// table cannot be opened; that is no fault of the file.
TEST(InternalFileCrashTest, AnInterruptedCommitLeavesTheFileBeforeOrAfter) {
  TempDir dir;
  const std::string path = dir.File("crash.vdb");
  testing::CreateCatalogDatabase(path, 4, 1);
  const std::vector<uint8_t> small{'T', '0'};
  const std::vector<uint8_t> large = Pattern(2 * kD + 100, 5);
  const std::vector<uint8_t> other = Pattern(2 * kD + 90, 6);
  auto read = [&] {
    testing::CatalogDatabase db(path);
    TABSInternalDBTransactedAccessFile metadata = db.Metadata(0);
    return metadata.ReadAll(kSession);
  };
  // Returns whether the commit ran to its end.
  auto write = [&](const std::vector<uint8_t>& content, int64_t failAt) {
    testing::FaultFileSystem faulty;
    testing::CatalogDatabase db(path, true, &faulty);
    TABSInternalDBTransactedAccessFile metadata = db.Metadata(0);
    metadata.WriteFile(kSession, content.data(), 1, acaNone, static_cast<int32_t>(content.size()));
    faulty.FailAtWrite(failAt);
    try {
      db.db.manager.Commit(kSession);
    } catch (const EABSException&) {
      EXPECT_TRUE(faulty.Dead());
    }
    return faulty.Alive();
  };
  struct Case {
    const char* name;
    const std::vector<uint8_t>& before;
    const std::vector<uint8_t>& after;
  };
  for (const Case& change :
       {Case{"growing", small, large}, Case{"rewriting", large, other}, Case{"shrinking", other, small}}) {
    write(change.before, 0);
    const std::vector<uint8_t> base = testing::ReadAllBytes(path);
    int sawAfter = 0;
    for (int64_t failAt = 1;; ++failAt) {
      testing::WriteAllBytes(path, base);
      const bool finished = write(change.after, failAt);
      const std::string context = std::string(change.name) + ", dying at write " + std::to_string(failAt);
      const std::vector<uint8_t> now = read();
      ASSERT_TRUE(now == change.before || now == change.after) << context;
      sawAfter += now == change.after ? 1 : 0;
      for (const std::string& problem : testing::CheckerProblems(path)) {
        const bool leak =
            std::string(change.name) == "growing" && problem.find("holds no page") != std::string::npos;
        const bool notDefinitions = problem.find("table 'T0' cannot be opened") != std::string::npos;
        EXPECT_TRUE(leak || notDefinitions) << context << ": " << problem;
      }
      if (finished) break;
    }
    EXPECT_GE(sawAfter, 1) << change.name;
    testing::WriteAllBytes(path, base);
    write(change.after, 0);
  }
}

}  // namespace
}  // namespace viz
