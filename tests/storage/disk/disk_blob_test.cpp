// BLOB storage of disk tables: small values sharing pages, large values in page chains of their
// own, the BLOB page index, the cache of values cursors read and write, and the byte layout.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <map>
#include <random>
#include <set>

#include "engine/storage/disk/page_use.h"
#include "engine/storage/disk_page_manager.h"
#include "engine/storage/free_space_manager.h"
#include "engine/tables/streams.h"
#include "storage/disk/disk_test_util.h"
#include "support/disk_tables.h"
#include "support/temp_dir.h"

namespace viz {
namespace {

using testing::CheckerProblems;
using testing::CodeOf;
using ::testing::IsEmpty;
using testing::MakeFields;
using testing::RawPage;
using testing::TableCursor;
using testing::TempDir;
using testing::TestDatabase;

// Table "PICS": 0 Id INTEGER, 1 Data BLOB stored as it is (no compression), so that stored sizes
// are the values' sizes.
class DiskBlobTest : public ::testing::Test {
 protected:
  void Open(uint16_t pageSize = 4096, uint8_t algorithm = 0) {
    testing::TestDiskDatabaseOptions options;
    options.PageSize = pageSize;
    db_ = std::make_unique<TestDatabase>(dir_.Path(), options);
    table_ = &db_->Table("PICS");
    TableCursor creator(*table_, db_->Session(), false);
    table_->CreateTable(
        &creator,
        *MakeFields({{"Id", dt::kInteger},
                     {"Data", dt::kBlob, 0, algorithm, algorithm ? uint8_t{6} : uint8_t{0}, 1000}}),
        {}, {});
    cursor_ = std::make_unique<TableCursor>(*table_, db_->Session());
  }
  void TearDown() override {
    cursor_.reset();
    if (db_) {
      db_->Disconnect();
      EXPECT_THAT(CheckerProblems(db_->Path()), IsEmpty());
    }
  }
  // Inserts a record with a value; returns the value's address.
  TABSRecordAddress Add(int32_t id, const std::string& value) {
    cursor_->Clear();
    cursor_->SetInt(0, id);
    cursor_->SetBlob(1, value);
    EXPECT_TRUE(cursor_->Insert());
    return AddressInBuffer();
  }
  TABSRecordAddress AddressInBuffer() {
    return TABSDiskBlobManager::AddressOf(table_->FieldManager()->FieldDefs()[1], cursor_->Buffer());
  }
  int32_t Session() { return db_->Session().SessionNumber(); }
  TABSDiskBlobManager& Blobs() { return *table_->Blobs(); }
  bool PageUsed(int32_t pageNo) { return db_->Database().Pages().FreeSpaceManager()->IsPageUsed(pageNo); }

  TempDir dir_;
  std::unique_ptr<TestDatabase> db_;
  TABSDiskTableData* table_ = nullptr;
  std::unique_ptr<TableCursor> cursor_;
};

TEST_F(DiskBlobTest, SmallValuePageBytesAsWorkedOutByHand) {
  Open();
  const TABSRecordAddress first = Add(1, "hello");
  const TABSRecordAddress second = Add(2, "hi!");
  EXPECT_EQ(first.PageNo, second.PageNo);
  EXPECT_EQ(first.RecordNo, 0);
  EXPECT_EQ(second.RecordNo, 1);
  cursor_.reset();
  db_->Disconnect();
  const std::vector<uint8_t> page = RawPage(db_->Path(), first.PageNo);
  EXPECT_EQ(file_format::GetU16(&page[8]), 11);
  const std::vector<uint8_t> expected = {
      0x02, 0x00,                                                // two values
      0x00, 0x00, 0, 0, 0, 0, 5, 0, 0,   0,   0,   0,   0,   0,  // id 0, no blocks, 5 stored bytes
      5,    0,    0, 0, 0, 0, 0, 0, 'h', 'e', 'l', 'l', 'o',     // 5 bytes before compression
      0x01, 0x00, 0, 0, 0, 0, 3, 0, 0,   0,   0,   0,   0,   0,  // id 1, 3 bytes
      3,    0,    0, 0, 0, 0, 0, 0, 'h', 'i', '!', 0,   0};      // and nothing after them
  EXPECT_EQ(std::vector<uint8_t>(page.begin() + 40, page.begin() + 40 + expected.size()), expected);
}

// With D = 4056 a value is small while its stored size + 24 < D. A large value's page list follows
// its last byte, goes on in a new page when it does not fit, and starts in a page of its own when
// the last data page is exactly full.
TEST_F(DiskBlobTest, SmallAndLargeValuesAndWhereTheirPageListGoes) {
  Open();
  struct Case {
    size_t size;
    bool large;
    size_t dataPages;
    bool listInOwnPage;
  } cases[] = {{1, false, 0, false},   {4031, false, 0, false}, {4032, true, 2, false},
               {8079, true, 2, false}, {8080, true, 2, true},   {20000, true, 5, false}};
  int32_t id = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.size);
    std::string value(c.size, '\0');
    for (size_t at = 0; at < value.size(); ++at) value[at] = static_cast<char>(at * 7 + c.size);
    const TABSRecordAddress address = Add(++id, value);
    EXPECT_EQ(address.RecordNo == TABSDiskBlobManager::kLargeSlot, c.large);
    if (c.large) {
      const TABSDiskBlobManager::LargeValue large = Blobs().ReadLarge(Session(), address.PageNo);
      EXPECT_EQ(large.DataPages.size(), c.dataPages);
      EXPECT_EQ(large.ListPage != large.DataPages.back(), c.listInOwnPage);
      if (c.listInOwnPage) {
        EXPECT_EQ(large.ListOffset, 0);
      }
    }
    ASSERT_TRUE(cursor_->Go(cursor_->Address()));
    EXPECT_EQ(cursor_->Blob(1), value);
  }
  // Deleting every value frees every BLOB page again.
  while (cursor_->First()) ASSERT_TRUE(cursor_->Delete());
  EXPECT_EQ(Blobs().PageIndex()->PageCount(Session()), 0);
}

// The data pages of a large value are allocated in one pass: in order, each a page of its own, and
// all of them returned to the free space when the transaction is rolled back.
TEST_F(DiskBlobTest, LargeValueRolledBackLeavesItsPagesFree) {
  Open(1024);
  std::string value(300000, '\0');
  for (size_t at = 0; at < value.size(); ++at) value[at] = static_cast<char>(at * 31 + at / 977);
  const TABSRecordAddress kept = Add(1, value);
  db_->Session().SetInTransaction(true);
  const TABSRecordAddress address = Add(2, value.substr(1000));
  const TABSDiskBlobManager::LargeValue large = Blobs().ReadLarge(Session(), address.PageNo);
  ASSERT_EQ(large.DataPages.size(), static_cast<size_t>(1 + (299000 - 952 + 983) / 984));
  for (int32_t pageNo : large.DataPages) EXPECT_TRUE(PageUsed(pageNo)) << pageNo;
  db_->Database().Rollback(&db_->Session());
  db_->Session().SetInTransaction(false);
  for (int32_t pageNo : large.DataPages) EXPECT_FALSE(PageUsed(pageNo)) << pageNo;
  ASSERT_TRUE(cursor_->First());
  EXPECT_TRUE(cursor_->Blob(1) == value);
  EXPECT_EQ(AddressInBuffer().PageNo, kept.PageNo);
  EXPECT_FALSE(cursor_->Next());
}

// A large value is read into memory in one block while the data stream would keep it there (up to
// its memory limit, or without temporary files), otherwise into the stream's temporary file.
TEST_F(DiskBlobTest, LargeValuesReadBackWholeInMemoryOrInAFile) {
  Open();
  const int64_t limit = TABSTemporaryStream::kMemoryLimit;
  int32_t id = 0;
  for (const int64_t size : {int64_t{9000}, limit - 1, limit, limit + 1, 3 * limit / 2}) {
    SCOPED_TRACE(size);
    std::string value(static_cast<size_t>(size), '\0');
    for (size_t at = 0; at < value.size(); ++at) value[at] = static_cast<char>(at * 13 + at / 4093);
    const TABSRecordAddress address = Add(++id, value);
    ASSERT_EQ(address.RecordNo, TABSDiskBlobManager::kLargeSlot);
    for (const bool disableTempFiles : {false, true}) {
      TABSBlobValue loaded = Blobs().Load(Session(), address, disableTempFiles);
      auto* stream = dynamic_cast<TABSTemporaryStream*>(loaded.Data.get());
      ASSERT_NE(stream, nullptr);
      EXPECT_EQ(stream->InMemory(), disableTempFiles || size <= limit);
      EXPECT_EQ(stream->Size(), size);
      EXPECT_EQ(stream->Position(), size);
      std::string back(static_cast<size_t>(size), '\0');
      stream->SetPosition(0);
      ASSERT_EQ(stream->Read(back.data(), size), size);
      EXPECT_TRUE(back == value);
      // The stream goes on as any other: written on past its end, and into a file past the limit.
      const char more[3] = {'x', 'y', 'z'};
      ASSERT_EQ(stream->Write(more, 3), 3);
      EXPECT_EQ(stream->Size(), size + 3);
      EXPECT_EQ(stream->InMemory(), disableTempFiles || size + 3 <= limit);
    }
    ASSERT_TRUE(cursor_->Go(cursor_->Address()));
    EXPECT_TRUE(cursor_->Blob(1) == value);
  }
}

TEST_F(DiskBlobTest, SmallValuesShareAPageUntilTheNextDoesNotFit) {
  Open();
  // 1000 bytes take 1022 with their header; the index leaves room while used + 1022 < 4054.
  std::vector<int32_t> pages;
  for (int32_t id = 1; id <= 4; ++id)
    pages.push_back(Add(id, std::string(1000, static_cast<char>(id))).PageNo);
  EXPECT_EQ(pages[0], pages[1]);
  EXPECT_EQ(pages[0], pages[2]);
  EXPECT_NE(pages[0], pages[3]);
  EXPECT_EQ(Blobs().PageIndex()->UsedBytes(Session(), pages[0]), 3 * 1022);
  // The only value of the second page goes: the page leaves the index and is freed at commit.
  ASSERT_TRUE(cursor_->Delete());
  EXPECT_EQ(Blobs().PageIndex()->UsedBytes(Session(), pages[3]), -1);
  EXPECT_FALSE(PageUsed(pages[3]));
  // A value of the first page goes: its room is given back, the others keep their bytes.
  ASSERT_TRUE(cursor_->First());
  ASSERT_TRUE(cursor_->Delete());
  EXPECT_EQ(Blobs().PageIndex()->UsedBytes(Session(), pages[0]), 2 * 1022);
  std::vector<std::string> left;
  for (bool more = cursor_->First(); more; more = cursor_->Next()) left.push_back(cursor_->Blob(1));
  EXPECT_EQ(left, (std::vector<std::string>{std::string(1000, '\2'), std::string(1000, '\3')}));
}

// Pages filled value by value, with deletes and replacements among the stores: every value reads
// back as a reference map says (a store that took a wrong idea of a page's used bytes or ids would
// overwrite or shadow a value).
TEST_F(DiskBlobTest, SmallValuesAmongDeletesAndReplacementsReadBackAsTheReferenceSays) {
  Open();
  std::mt19937 random(17);
  std::map<int32_t, std::string> model;
  auto value = [&] {
    std::string bytes(1 + random() % 400, '\0');
    for (char& byte : bytes) byte = static_cast<char>(random());
    return bytes;
  };
  auto check = [&](int step) {
    size_t count = 0;
    for (bool more = cursor_->First(); more; more = cursor_->Next(), ++count)
      ASSERT_EQ(cursor_->Blob(1), model.at(cursor_->Int(0))) << "step " << step << " id " << cursor_->Int(0);
    ASSERT_EQ(count, model.size()) << "step " << step;
  };
  int32_t nextId = 0;
  for (int step = 0; step < 500; ++step) {
    const unsigned action = random() % 10;
    if (action < 6 || model.empty()) {
      const std::string bytes = value();
      Add(nextId, bytes);
      model[nextId++] = bytes;
    } else {
      // The k-th record in the cursor's order is deleted or gets a new value.
      size_t k = random() % model.size();
      ASSERT_TRUE(cursor_->First());
      while (k-- > 0) ASSERT_TRUE(cursor_->Next());
      const int32_t id = cursor_->Int(0);
      if (action < 8) {
        ASSERT_TRUE(cursor_->Delete());
        model.erase(id);
      } else {
        const std::string bytes = value();
        cursor_->SetBlob(1, bytes);
        ASSERT_TRUE(cursor_->Update());
        model[id] = bytes;
      }
    }
    if (step % 50 == 49) check(step);
  }
  check(500);
}

TEST_F(DiskBlobTest, EmptyValuesAndZeroBuffersStoreNothing) {
  Open();
  const TABSRecordAddress empty = Add(1, "");
  EXPECT_EQ(empty, (TABSRecordAddress{-1, 65535}));
  EXPECT_TRUE(cursor_->IsNull(1));
  // A record buffer of zeros: address 0 in the BLOB field, no stored value.
  std::fill(cursor_->Buffer(), cursor_->Buffer() + table_->RecordBufferSize(), 0);
  ASSERT_TRUE(cursor_->Insert());
  ASSERT_TRUE(cursor_->Go(cursor_->Address()));
  EXPECT_EQ(AddressInBuffer().PageNo, 0);
  EXPECT_EQ(cursor_->Blob(1), "");
  EXPECT_EQ(Blobs().PageIndex()->PageCount(Session()), 0);
}

TEST_F(DiskBlobTest, UpdatesReplaceKeepOrDropTheStoredValue) {
  Open(4096, 1);  // zlib, level 6, blocks of 1000 bytes
  std::string text;
  for (int i = 0; i < 400; ++i) text += "line " + std::to_string(i) + " of a lyric\n";
  Add(1, text);
  ASSERT_TRUE(cursor_->Go(cursor_->Address()));
  EXPECT_EQ(cursor_->Blob(1), text);
  // An update that does not write the BLOB keeps it.
  cursor_->SetInt(0, 2);
  ASSERT_TRUE(cursor_->Update());
  ASSERT_TRUE(cursor_->Go(cursor_->Address()));
  EXPECT_EQ(cursor_->Blob(1), text);
  // Growing it to many pages (stored as written, uncompressible bytes) and shrinking it back.
  std::string noise(30000, '\0');
  for (size_t at = 0; at < noise.size(); ++at) noise[at] = static_cast<char>((at * 2654435761u) >> 13);
  cursor_->SetBlob(1, noise);
  ASSERT_TRUE(cursor_->Update());
  ASSERT_TRUE(cursor_->Go(cursor_->Address()));
  EXPECT_EQ(cursor_->Blob(1), noise);
  cursor_->SetBlob(1, "x");
  ASSERT_TRUE(cursor_->Update());
  // Set NULL by the field access, not through a stream: the stored value goes too.
  ASSERT_TRUE(cursor_->Go(cursor_->Address()));
  EXPECT_EQ(cursor_->Blob(1), "x");
  cursor_->SetNull(1);
  ASSERT_TRUE(cursor_->Update());
  ASSERT_TRUE(cursor_->Go(cursor_->Address()));
  EXPECT_TRUE(cursor_->IsNull(1));
  EXPECT_EQ(Blobs().PageIndex()->PageCount(Session()), 0);
}

// A new record whose buffer refers to another record's stored value (a copied buffer) gets a copy.
TEST_F(DiskBlobTest, CopiedRecordBuffersGetTheirOwnValues) {
  Open();
  Add(1, std::string(5000, 'q'));
  ASSERT_TRUE(cursor_->Go(cursor_->Address()));
  const TABSRecordAddress original = AddressInBuffer();
  cursor_->SetInt(0, 2);
  ASSERT_TRUE(cursor_->Insert());
  EXPECT_NE(AddressInBuffer(), original);
  ASSERT_TRUE(cursor_->First());
  ASSERT_TRUE(cursor_->Delete());
  ASSERT_TRUE(cursor_->First());
  EXPECT_EQ(cursor_->Int(0), 2);
  EXPECT_EQ(cursor_->Blob(1), std::string(5000, 'q'));
}

// Slot 255 is a small value's id as well as an old way of marking a large value; its page decides.
TEST_F(DiskBlobTest, SmallValueWithTheAmbiguousId) {
  Open(8192);
  TABSRecordAddress ambiguous;
  for (int32_t id = 0; id < 300; ++id) {
    const TABSRecordAddress address = Add(id, std::string(1, static_cast<char>(id)));
    if (address.RecordNo == 255) ambiguous = address;
  }
  ASSERT_EQ(ambiguous.RecordNo, 255);
  EXPECT_FALSE(Blobs().LooksLarge(Session(), ambiguous.PageNo));
  for (bool more = cursor_->First(); more; more = cursor_->Next()) {
    if (AddressInBuffer() != ambiguous) continue;
    EXPECT_EQ(cursor_->Blob(1), std::string(1, static_cast<char>(cursor_->Int(0))));
    ASSERT_TRUE(cursor_->Delete());
  }
  EXPECT_EQ(table_->RecordCount(cursor_.get()), 299);
}

TEST_F(DiskBlobTest, CachedValuesMustBeReleasedBeforeTheTableCloses) {
  Open();
  Add(1, "cached");
  ASSERT_TRUE(cursor_->Go(cursor_->Address()));
  TABSBlobValue value;
  table_->ReadBlobValue(cursor_.get(), 1, value);
  EXPECT_EQ(value.UncompressedSize, 6);
  EXPECT_EQ(Blobs().CachedCount(), 1u);
  // A value written but never posted stays in the cache after the table's release of the buffer.
  cursor_->SetBlob(1, "pending");
  table_->ReleaseRecordBlobs(cursor_->Buffer());
  EXPECT_EQ(Blobs().CachedCount(), 1u);
  // Left behind, it makes the close report the leak (after closing all the same).
  auto leak = std::make_unique<std::vector<uint8_t>>(cursor_->Buffer(),
                                                     cursor_->Buffer() + table_->RecordBufferSize());
  table_->WriteBlobValue(leak->data(), 1, {});
  EXPECT_EQ(CodeOf([&] { cursor_->Close(); }), 20150);
  EXPECT_FALSE(table_->IsLoaded());
}

// A read of a whole value straight from its page gives what a read-only stream on it gives, bytes or
// error, for sound values and for small-value pages damaged anywhere in their used bytes; values
// it does not read so (large, cached, NULL) are left to the stream.
TEST_F(DiskBlobTest, DirectReadsOfSmallValuesAreTheStreamsReads) {
  for (const uint8_t algorithm : {uint8_t{0}, uint8_t{1}}) {
    SCOPED_TRACE(algorithm);
    Open(4096, algorithm);
    std::mt19937 random(17 + algorithm);
    auto valueOf = [&](int32_t id) {
      // Sizes up to three blocks of 1000 bytes, and some large ones; few letters, so zlib packs them.
      const size_t size = id % 13 == 0 ? 5000 + random() % 3000 : random() % 3001;
      std::string value(size, 'a');
      for (char& c : value) c = static_cast<char>('a' + random() % (algorithm ? 4 : 26));
      return value;
    };
    std::vector<std::string> values;
    for (int32_t id = 0; id < 40; ++id) {
      values.push_back(id % 17 == 5 ? std::string() : valueOf(id));
      Add(id, values.back());
    }
    auto viaStream = [&] {
      try {
        std::string bytes;
        ReadWholeValue(*table_->OpenBlobStream(cursor_.get(), true, false, 1), bytes);
        return "bytes " + bytes;
      } catch (const EABSException& error) {
        return "error " + std::to_string(error.NativeErrorCode()) + ": " + error.Message();
      }
    };
    int direct = 0, errors = 0;
    auto viaPage = [&] {
      try {
        std::string bytes = "left alone";
        if (!table_->ReadBlobDirect(cursor_.get(), 1, bytes)) {
          EXPECT_EQ(bytes, "left alone");
          return viaStream();
        }
        ++direct;
        return "bytes " + bytes;
      } catch (const EABSException& error) {
        ++errors;
        return "error " + std::to_string(error.NativeErrorCode()) + ": " + error.Message();
      }
    };
    std::set<int32_t> smallPages;
    std::vector<std::string> sound;
    int expectedDirect = 0;
    for (bool more = cursor_->First(); more; more = cursor_->Next()) {
      sound.push_back(viaStream());
      EXPECT_EQ(sound.back(), "bytes " + values[static_cast<size_t>(cursor_->Int(0))]);
      EXPECT_EQ(viaPage(), sound.back());
      const TABSRecordAddress address = AddressInBuffer();
      if (!cursor_->IsNull(1) && address.RecordNo != TABSDiskBlobManager::kLargeSlot) {
        smallPages.insert(address.PageNo);
        ++expectedDirect;
      }
    }
    EXPECT_GE(expectedDirect, 30);
    EXPECT_EQ(direct, expectedDirect);
    EXPECT_GE(smallPages.size(), algorithm ? 2u : 8u);
    // A cached value (read for a read-write stream, or written and not posted) is the stream's.
    ASSERT_TRUE(cursor_->First());
    TABSBlobValue cached;
    table_->ReadBlobValue(cursor_.get(), 1, cached);
    std::string bytes;
    EXPECT_FALSE(table_->ReadBlobDirect(cursor_.get(), 1, bytes));
    cursor_->SetBlob(1, "pending");
    EXPECT_FALSE(table_->ReadBlobDirect(cursor_.get(), 1, bytes));
    table_->DiscardRecordBlobs(cursor_->Buffer());

    // Damage in the cached pages, each change undone before the next.
    TABSDiskPageManager& pages = db_->Database().Pages();
    int trials = 0, seen = 0;
    for (const int32_t pageNo : smallPages) {
      TABSPageUse held(pages, pages.GetPage(Session(), pageNo, TABSSmallBlobPage::kPageType));
      int32_t used = 0;
      bool countIdTaken = false;
      ASSERT_TRUE(TABSSmallBlobPage(held.get()).Measure(used, countIdTaken));
      for (int trial = 0; trial < 40; ++trial, ++trials) {
        uint8_t& byte = held->Data()[random() % static_cast<uint32_t>(used)];
        const uint8_t before = byte;
        byte ^= static_cast<uint8_t>(1 + random() % 255);
        held->NoteContentChanged();
        bool changed = false;
        size_t record = 0;
        for (bool more = cursor_->First(); more; more = cursor_->Next(), ++record) {
          const std::string stream = viaStream();
          EXPECT_EQ(viaPage(), stream) << "page " << pageNo << " byte " << (&byte - held->Data());
          changed = changed || stream != sound[record];
        }
        seen += changed;
        byte = before;
        held->NoteContentChanged();
      }
    }
    // The damage was seen (as other bytes or as errors) nearly every time, by both reads alike.
    EXPECT_GT(seen, trials * 9 / 10);
    EXPECT_GT(errors, algorithm ? trials / 2 : 0);
    cursor_.reset();
    db_->Disconnect();
    EXPECT_THAT(CheckerProblems(db_->Path()), IsEmpty());
    const std::string path = db_->Path();
    db_.reset();
    std::filesystem::remove(path);
  }
}

}  // namespace
}  // namespace viz
