// Repair on open: a file whose last commit was cut short is copied table by table into a new file,
// which takes the old one's place by a rename when every table copied; a table that could not be
// copied leaves the damaged original beside it as a backup.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>

#include "components/components_test_util.h"
#include "engine/storage/file_format.h"
#include "support/child_process.h"
#include "support/disk_tables.h"

namespace viz::testing {
namespace {

using ::testing::HasSubstr;

// A writer that adds the rows it is told to ("add <id>") and waits to be killed.
VIZ_CHILD_ROLE(killedWriter) {
  auto database = NewConnection("Writer", args.at(0));
  database->Open();
  auto table = LyricTable("Writer");
  table->Open();
  Reply("ready");
  std::string line;
  while (ReadCommand(&line)) {
    AddRow(*table, std::stoi(line.substr(4)), "killed", 1);
    table->Edit();
    table->FieldByName("Score").SetAsInteger(2);
    Reply("added");
  }
  return 0;
}

constexpr uint16_t kPageSize = 1024;

struct Pages {
  std::string bytes;
  int32_t Count() const {
    return static_cast<int32_t>((bytes.size() - file_format::kPrefixSize) / kPageSize);
  }
  size_t At(int32_t pageNo) const {
    return file_format::kPrefixSize + static_cast<size_t>(pageNo) * kPageSize;
  }
  uint16_t Type(int32_t pageNo) const {
    return file_format::GetU16(Byte(At(pageNo) + file_format::kPageTypeOffset));
  }
  const uint8_t* Byte(size_t offset) const { return reinterpret_cast<const uint8_t*>(bytes.data() + offset); }
  // The numbers of the table definition pages.
  std::set<int32_t> DefinitionPages() const {
    std::set<int32_t> pages;
    for (int32_t page = 0; page < Count(); ++page)
      if (Type(page) == ptTableMetaData) pages.insert(page);
    return pages;
  }
};

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc)
      .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Marks the file as left in the middle of a commit: the state a process killed while committing leaves.
std::string MarkCommitCutShort(const std::string& path) {
  std::string bytes = FileBytes(path);
  bytes[42] = static_cast<char>(file_format::kStateCommitting);
  WriteBytes(path, bytes);
  return bytes;
}

struct RecordedMessages : TABSMessageDialogs {
  std::vector<std::string> shown;
  bool answer = true;
  void Inform(const std::string& text) override { shown.push_back("inform: " + text); }
  void Warn(const std::string& text) override { shown.push_back("warn: " + text); }
  bool Confirm(const std::string& text) override {
    shown.push_back("confirm: " + text);
    return answer;
  }
};

struct RepairCase {
  const char* name;
  const char* password;
  bool damageSecondTable;
};

class RepairTest : public ::testing::TestWithParam<RepairCase> {
 protected:
  void SetUp() override {
    previous_ = SetDialogs({nullptr, nullptr, &messages_});
    path_ = dir_.File("repair.svl");
  }
  void TearDown() override { SetDialogs(previous_); }

  // LYRIC with rows and memos, and a second table SCORES.
  void MakeDatabase(const std::string& password) {
    auto database = NewConnection("Maker", path_, password);
    database->SetPageSize(kPageSize);
    MakeLyricDatabase(*database);
    auto table = LyricTable("Maker", "byName");
    table->Open();
    for (int id = 1; id <= 40; ++id) {
      AddRow(*table, id, "name" + std::to_string(100 - id), id * 3);
      table->Edit();
      table->FieldByName("Notes").SetAsString(std::string(static_cast<size_t>(id * 50), char('a' + id % 26)));
      table->Post();
    }
    table->Close();
    lyricPages_ = Pages{FileBytes(path_)}.DefinitionPages();
    TABSLocalCursor cursor(database->EngineSession());
    cursor.SetTableName("SCORES");
    cursor.CreateTable(*MakeFields({{"Id", dt::kInteger}, {"Points", dt::kInteger}}),
                       *MakeIndexes({{"byId", {"Id"}, true}}), {});
    database->Close();
  }

  // Damages the definition pages that came with SCORES.
  void DamageSecondTable() {
    Pages pages{FileBytes(path_)};
    int damaged = 0;
    for (int32_t page = 0; page < pages.Count(); ++page) {
      if (pages.Type(page) != ptTableMetaData || lyricPages_.count(page)) continue;
      pages.bytes[pages.At(page) + file_format::kPageHeaderSize + 6] ^= 0x5A;
      ++damaged;
    }
    ASSERT_GT(damaged, 0);
    WriteBytes(path_, pages.bytes);
  }

  TempDir dir_;
  std::string path_;
  RecordedMessages messages_;
  TABSDialogs previous_;
  std::set<int32_t> lyricPages_;
};

TEST_P(RepairTest, RepairsOnOpenAndKeepsWhatCouldNotBeCopied) {
  const RepairCase& c = GetParam();
  MakeDatabase(c.password);
  if (c.damageSecondTable) DamageSecondTable();
  const std::string original = MarkCommitCutShort(path_);

  // Declining leaves the file alone.
  auto database = NewConnection("Repair", path_, c.password);
  messages_.answer = false;
  database->Open();
  database->Close();
  EXPECT_THAT(
      messages_.shown,
      ::testing::ElementsAre("confirm: Database file was not correctly closed last time. Do you want to "
                             "repair it?"));
  EXPECT_EQ(FileBytes(path_), original);
  // A silent connection is not asked.
  messages_.shown.clear();
  database->SetSilentMode(true);
  database->Open();
  database->Close();
  database->SetSilentMode(false);
  EXPECT_TRUE(messages_.shown.empty());

  std::vector<std::string> events;
  std::vector<int> progress;
  database->OnNeedRepair = [&](TABSDatabase&, bool& repair) {
    events.push_back("need");
    repair = true;
  };
  database->BeforeRepair = [&](TABSDatabase&) { events.push_back("before"); };
  database->AfterRepair = [&](TABSDatabase&) { events.push_back("after"); };
  database->OnRepairProgress = [&](TABSDatabase&, int percent, bool&) { progress.push_back(percent); };
  database->Open();
  EXPECT_TRUE(database->Connected());
  EXPECT_EQ(events, (std::vector<std::string>{"need", "before", "after"}));
  ASSERT_FALSE(progress.empty());
  EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
  EXPECT_EQ(progress.back(), 100);
  EXPECT_FALSE(std::filesystem::exists(path_ + ".tmp"));

  auto table = LyricTable("Repair", "byId");
  table->Open();
  std::vector<int> expected(40);
  for (int id = 1; id <= 40; ++id) expected[static_cast<size_t>(id - 1)] = id;
  EXPECT_EQ(Ids(*table), expected);
  table->Last();
  EXPECT_EQ(table->FieldByName("Notes").AsString(), std::string(2000, char('a' + 40 % 26)));
  table->SetIndexName("byName");
  table->First();
  EXPECT_EQ(table->FieldByName("Id").AsInteger(), 40);
  table->Close();
  EXPECT_EQ(database->HasTable("SCORES"), !c.damageSecondTable);
  database->Close();

  const std::string backup = path_ + ".bak";
  if (c.damageSecondTable) {
    ASSERT_EQ(messages_.shown.size(), 1u);
    EXPECT_THAT(messages_.shown[0], HasSubstr("warn: SCORES: "));
    EXPECT_THAT(messages_.shown[0], HasSubstr(backup));
    EXPECT_EQ(FileBytes(backup), original);
  } else {
    EXPECT_TRUE(messages_.shown.empty());
    EXPECT_FALSE(std::filesystem::exists(backup));
  }
  EXPECT_THAT(VizcheckProblems(path_, c.password), ::testing::IsEmpty());
  // The new file was closed correctly: no question the next time.
  events.clear();
  database->Open();
  database->Close();
  EXPECT_TRUE(events.empty());
}

INSTANTIATE_TEST_SUITE_P(Cases, RepairTest,
                         ::testing::Values(RepairCase{"EveryTableCopied", "", false},
                                           RepairCase{"Enciphered", "secret", false},
                                           RepairCase{"TableLost", "", true}),
                         [](const auto& info) { return std::string(info.param.name); });

// A progress answer that stops the copy keeps the original and reports the error text.
TEST_F(RepairTest, StoppedRepairKeepsTheOriginal) {
  MakeDatabase("");
  const std::string original = MarkCommitCutShort(path_);
  auto database = NewConnection("Stopped", path_);
  database->OnNeedRepair = [](TABSDatabase&, bool& repair) { repair = true; };
  database->OnRepairProgress = [](TABSDatabase&, int, bool& continueOn) { continueOn = false; };
  database->Open();
  EXPECT_TRUE(database->Connected());
  database->Close();
  EXPECT_THAT(messages_.shown, ::testing::ElementsAre("warn: Unknown error"));
  EXPECT_EQ(FileBytes(path_), original);
  EXPECT_FALSE(std::filesystem::exists(path_ + ".tmp"));
}

// A file of an old format version is converted without a question, after the information message.
TEST_F(RepairTest, OldFormatIsConverted) {
  MakeDatabase("");
  std::string bytes = FileBytes(path_);
  auto version = [&](const std::string& file) {
    double value;
    std::memcpy(&value, file.data() + 18, sizeof value);
    return value;
  };
  const double old = 2.5;
  std::memcpy(bytes.data() + 18, &old, sizeof old);
  WriteBytes(path_, bytes);
  auto database = NewConnection("Old", path_);
  database->Open();
  EXPECT_THAT(messages_.shown, ::testing::ElementsAre(std::string("inform: ") + msg::kOldFormatInfo));
  EXPECT_TRUE(database->HasTable("LYRIC"));
  EXPECT_TRUE(database->HasTable("SCORES"));
  database->Close();
  EXPECT_DOUBLE_EQ(version(FileBytes(path_)), file_format::kVersion);
  EXPECT_THAT(VizcheckProblems(path_), ::testing::IsEmpty());
}

// A process killed between its commits leaves a file that opens without repair and holds every
// committed row.
TEST_F(RepairTest, KilledWriterNeedsNoRepair) {
  MakeDatabase("");
  {
    ChildProcess child("killedWriter", {path_});
    ASSERT_EQ(child.ReadLine(), "ready");
    for (int id = 41; id <= 45; ++id) ASSERT_EQ(child.Ask("add " + std::to_string(id)), "added");
    child.Kill();
  }
  auto database = NewConnection("AfterKill", path_);
  bool asked = false;
  database->OnNeedRepair = [&](TABSDatabase&, bool&) { asked = true; };
  database->Open();
  EXPECT_FALSE(asked);
  auto table = LyricTable("AfterKill", "byId");
  table->Open();
  EXPECT_EQ(table->RecordCount(), 45);
  table->Last();
  EXPECT_EQ(table->FieldByName("Score").AsInteger(), 1);  // the edit in progress was never posted
  table->Close();
  database->Close();
  EXPECT_THAT(VizcheckProblems(path_), ::testing::IsEmpty());
}

}  // namespace
}  // namespace viz::testing
