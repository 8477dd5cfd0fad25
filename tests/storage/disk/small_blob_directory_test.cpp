// The directory of a small-value BLOB page against the walk of the page it stands for: the same
// answers, however the page changes (values added and removed, ids repeated, headers damaged),
// and content serials that change whenever a page's content may have.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "engine/storage/VIZPage.h"
#include "engine/storage/disk/small_blob_page.h"

namespace viz {
namespace {

// Pages held in memory only: the directory needs page objects, not a backend.
class PlainPageManager : public TABSPageManager {
 public:
  PlainPageManager() : TABSPageManager(1024, file_format::kPageHeaderSize) {}
  void AllocatePageNo(TABSPage* page) override {
    page->PageNo = next_++;
    page->AllocBuffer();
  }
  void FreePageNo(int32_t /*pageNo*/) override {}
  bool ReadPage(TABSPage* /*page*/) override { return true; }
  void WritePage(TABSPage* /*page*/) override {}

 private:
  int32_t next_ = 0;
};

void ExpectSameAnswer(TABSSmallBlobDirectory& directory, const TABSSmallBlobPage& page, uint16_t id,
                      const std::string& context) {
  TABSSmallBlobPage::Entry walked, listed;
  bool walkedFound = true, listedFound = true;
  std::string walkedDamage, listedDamage;
  const bool walkedOk = page.FindEntry(id, walked, walkedFound, &walkedDamage);
  const bool listedOk = directory.FindEntry(page, id, listed, listedFound, &listedDamage);
  ASSERT_EQ(listedOk, walkedOk) << context;
  EXPECT_EQ(listedDamage, walkedDamage) << context;
  if (!walkedOk) return;
  ASSERT_EQ(listedFound, walkedFound) << context;
  if (!walkedFound) return;
  EXPECT_EQ(listed.Offset, walked.Offset) << context;
  EXPECT_EQ(listed.Header.Id, walked.Header.Id) << context;
  EXPECT_EQ(listed.Header.BlockCount, walked.Header.BlockCount) << context;
  EXPECT_EQ(listed.Header.StoredSize, walked.Header.StoredSize) << context;
  EXPECT_EQ(listed.Header.UncompressedSize, walked.Header.UncompressedSize) << context;
}

TEST(TABSSmallBlobDirectoryTest, AnswersAsTheWalkWhateverThePageBecomes) {
  PlainPageManager manager;
  std::mt19937 random(11);
  std::mt19937 picks(5);
  TABSSmallBlobDirectory directory;
  for (int round = 0; round < 40; ++round) {
    TABSPage* held = manager.AddPage(1, TABSSmallBlobPage::kPageType);
    TABSSmallBlobPage page(held);
    page.Initialise();
    for (int step = 0; step < 300; ++step) {
      const std::string context = "round " + std::to_string(round) + " step " + std::to_string(step);
      std::vector<TABSSmallBlobPage::Entry> entries;
      std::string listedDamage;
      const bool sound = page.Entries(entries, &listedDamage);
      {
        // One walk that locates a value and measures the page answers as the list does.
        const uint16_t id = !entries.empty() && picks() % 2 ? entries[picks() % entries.size()].Header.Id
                                                            : static_cast<uint16_t>(picks() % 70);
        TABSSmallBlobPage::Entry located;
        bool found = false;
        int32_t used = 0;
        std::string damage;
        ASSERT_EQ(page.Locate(id, located, found, used, &damage), sound) << context;
        EXPECT_EQ(damage, listedDamage) << context;
        if (sound) {
          const TABSSmallBlobPage::Entry* listed = TABSSmallBlobPage::Find(entries, id);
          ASSERT_EQ(found, listed != nullptr) << context;
          EXPECT_EQ(used, TABSSmallBlobPage::UsedLength(entries)) << context;
          if (listed) {
            EXPECT_EQ(located.Offset, listed->Offset) << context;
            EXPECT_EQ(located.Header.StoredSize, listed->Header.StoredSize) << context;
            EXPECT_EQ(located.Header.BlockCount, listed->Header.BlockCount) << context;
            EXPECT_EQ(located.Header.UncompressedSize, listed->Header.UncompressedSize) << context;
          }
        }
      }
      const int action = static_cast<int>(random() % 10);
      if (sound && action < 5) {
        // A value with the usual new id, or now and then an id already taken or far off.
        TABSStoredBlobHeader header;
        header.StoredSize = static_cast<int64_t>(random() % 40);
        header.BlockCount = static_cast<int32_t>(random() % 3);
        header.UncompressedSize = header.StoredSize + static_cast<int64_t>(random() % 5);
        const int kind = static_cast<int>(random() % 8);
        header.Id = kind == 0 && !entries.empty() ? entries[random() % entries.size()].Header.Id
                    : kind == 1                   ? static_cast<uint16_t>(random() % 70)
                                                  : page.NewId(entries);
        const int32_t used = TABSSmallBlobPage::UsedLength(entries);
        if (used + TABSStoredBlobHeader::kSize + header.StoredSize <= static_cast<int32_t>(page.DataSize())) {
          uint8_t* bytes = page.AppendAt(used, header);
          std::memset(bytes, static_cast<int>(random() % 256), static_cast<size_t>(header.StoredSize));
        }
      } else if (sound && action < 8 && !entries.empty()) {
        page.Remove(entries, entries[random() % entries.size()]);
      } else if (action == 8 && page.Count() > 0) {
        // A damaged or mended length in some header (changes are always marked).
        int32_t offset = TABSSmallBlobPage::kCountSize;
        if (sound && !entries.empty()) offset = entries[random() % entries.size()].Offset;
        int64_t size = random() % 3 == 0 ? int64_t{5000} : static_cast<int64_t>(random() % 40);
        if (offset + TABSStoredBlobHeader::kSize <= static_cast<int32_t>(page.DataSize())) {
          std::memcpy(page.Data() + offset + 6, &size, 8);
          page.MarkDirty();
        }
      } else if (action == 9 && !sound) {
        page.Initialise();
      }
      for (int probe = 0; probe < 6; ++probe) {
        const uint16_t id = static_cast<uint16_t>(random() % 80);
        ExpectSameAnswer(directory, page, id, context + " id " + std::to_string(id));
        if (HasFatalFailure()) return;
      }
    }
    manager.ReleasePage(held);
    manager.Rollback(1);
  }
}

TEST(TABSSmallBlobDirectoryTest, ContentSerialsChangeWithTheContent) {
  PlainPageManager manager, other;
  TABSPage page(&manager);
  const uint64_t created = page.ContentSerial();
  page.AllocBuffer();
  const uint64_t allocated = page.ContentSerial();
  EXPECT_NE(allocated, created);
  EXPECT_EQ(page.ContentSerial(), allocated) << "reading the serial changes nothing";
  page.MarkDirty();
  EXPECT_NE(page.ContentSerial(), allocated);
  const uint64_t marked = page.ContentSerial();
  page.GrowBuffer(2048);
  EXPECT_NE(page.ContentSerial(), marked);
  std::vector<uint8_t> borrowed(1024);
  const uint64_t grown = page.ContentSerial();
  page.BorrowBuffer(borrowed.data(), 1024);
  EXPECT_NE(page.ContentSerial(), grown);
  // The pages of another manager never share a serial with these.
  TABSPage stranger(&other);
  stranger.AllocBuffer();
  EXPECT_NE(stranger.ContentSerial(), page.ContentSerial());
  EXPECT_NE(stranger.ContentSerial(), allocated);
}

}  // namespace
}  // namespace viz
