// Runs the vizcheck program on sound and on deliberately damaged database files.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

#include "engine/storage/disk_page_manager.h"
#include "engine/storage/file_format.h"
#include "engine/storage/free_space_manager.h"
#include "support/temp_dir.h"

namespace viz {
namespace {

using namespace file_format;
using ::testing::HasSubstr;
using ::testing::Not;
using testing::TempDir;

struct RunResult {
  int exitCode = -1;
  std::string output;
};

std::string Quote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

RunResult RunVizcheck(const std::vector<std::string>& args) {
  std::string command = Quote(VIZCHECK_PATH);
  for (const std::string& arg : args) command += " " + Quote(arg);
  command += " 2>&1";
  RunResult result;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return result;
  char buffer[4096];
  size_t got;
  while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) result.output.append(buffer, got);
  int status = pclose(pipe);
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

void Patch(const std::string& path, int64_t position, const std::vector<uint8_t>& bytes) {
  std::fstream file(path, std::ios::binary | std::ios::in | std::ios::out);
  file.seekp(position);
  file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<uint8_t> I32(int32_t value) {
  std::vector<uint8_t> bytes(4);
  PutI32(bytes.data(), value);
  return bytes;
}

// A database with `count` written record pages (2, 3, ...) and, when asked, one page freed.
void MakeDatabase(const std::string& path, const TABSPassword& password, int count, int32_t freed = -1) {
  TABSDiskPageManager manager;
  manager.CreateDatabaseFile(path, password);
  manager.CloseDatabaseFile();
  bool multiUser = false, repair = false, readOnly = false;
  manager.OpenDatabaseFile(path, password, multiUser, false, repair, readOnly);
  std::vector<uint8_t> page(manager.PageSize());
  for (int i = 0; i < count; ++i) {
    int32_t pageNo = manager.AllocatePageNumber();
    InitPageHeader(page.data(), ptTableRecord, 1000 + i);
    for (size_t at = kPageHeaderSize; at < page.size(); ++at) page[at] = static_cast<uint8_t>(at + i);
    manager.WritePageBuffer(pageNo, page.data());
  }
  InitPageHeader(page.data(), ptActiveSessionList, 1);
  int32_t sessions = manager.AllocatePageNumber();
  manager.WritePageBuffer(sessions, page.data(), false);
  if (freed >= 0) manager.FreePageNo(freed);
}

// Expects every one of `parts` in the checker's report.
void ExpectReported(const RunResult& run, std::initializer_list<std::string> parts) {
  for (const std::string& part : parts) EXPECT_THAT(run.output, HasSubstr(part));
}

int64_t PageAt(int32_t pageNo) {
  return 380 + static_cast<int64_t>(pageNo) * 4096;
}

TEST(VizcheckTest, SoundFilesPassWithTheirHeaderAndCensus) {
  TempDir dir;
  std::string path = dir.File("sound.db");
  MakeDatabase(path, {}, 5, 4);
  RunResult run = RunVizcheck({path});
  EXPECT_EQ(run.exitCode, 0) << run.output;
  EXPECT_THAT(run.output, HasSubstr("Signature: VIZ0LUTEDATABASE"));
  EXPECT_THAT(run.output, HasSubstr("Page size: 4096"));
  EXPECT_THAT(run.output, HasSubstr("Total page count: 14"));
  EXPECT_THAT(run.output, HasSubstr("Last used page: 7"));
  EXPECT_THAT(run.output, HasSubstr("Encrypted: no"));
  EXPECT_THAT(run.output, HasSubstr("  TableRecord Page: 4"));
  EXPECT_THAT(run.output, HasSubstr("  ActiveSessionList Page: 1"));
  EXPECT_THAT(run.output, HasSubstr("  PFS Page: 1"));
  EXPECT_THAT(run.output, HasSubstr("  EAM Page: 1"));
  EXPECT_THAT(run.output, HasSubstr("  free: 7"));
  EXPECT_THAT(run.output, HasSubstr("No problems found."));

  std::string empty = dir.File("empty.db");
  TABSDiskPageManager manager;
  manager.CreateDatabaseFile(empty, {});
  manager.CloseDatabaseFile();
  EXPECT_EQ(RunVizcheck({empty}).exitCode, 0);
}

TEST(VizcheckTest, EncipheredFileChecksEveryPageCrc) {
  TempDir dir;
  std::string path = dir.File("enc.db");
  MakeDatabase(path, {"open sesame", 4}, 3);
  RunResult sound = RunVizcheck({path, "--password", "open sesame"});
  EXPECT_EQ(sound.exitCode, 0) << sound.output;
  EXPECT_THAT(sound.output, HasSubstr("Encrypted: yes, cipher type 4"));

  Patch(path, PageAt(3) + 2000, {0x00, 0x01});
  RunResult damaged = RunVizcheck({path, "--password=open sesame"});
  EXPECT_EQ(damaged.exitCode, 1) << damaged.output;
  EXPECT_THAT(damaged.output, HasSubstr("PROBLEM: page 3: the deciphered data does not match its CRC"));
  EXPECT_THAT(damaged.output, HasSubstr("1 problem found."));
}

TEST(VizcheckTest, WrongPasswordIsNotReportedAsDamage) {
  TempDir dir;
  std::string path = dir.File("pw.db");
  MakeDatabase(path, {"right", 0}, 2);
  RunResult wrong = RunVizcheck({path, "--password", "wrong"});
  EXPECT_EQ(wrong.exitCode, 3);
  EXPECT_THAT(wrong.output, HasSubstr("WRONG PASSWORD"));
  EXPECT_THAT(wrong.output, Not(HasSubstr("PROBLEM")));
  RunResult none = RunVizcheck({path});
  EXPECT_EQ(none.exitCode, 3);
  EXPECT_THAT(none.output, HasSubstr("no password was given"));
}

TEST(VizcheckTest, DamagedPagesAndMapsAreReportedWithTheirPageNumbers) {
  TempDir dir;
  std::string path = dir.File("bad.db");
  MakeDatabase(path, {}, 6);  // pages 2..7 records, 8 sessions; 14 pages
  // Page 3 loses its signature, page 5 gets an invalid type, EAM page 1 becomes a record page.
  Patch(path, PageAt(3), {'X', 'X', 'X', 'X'});
  Patch(path, PageAt(5) + 8, {0x63, 0x00});
  Patch(path, PageAt(1) + 8, {10, 0});
  // Page 6's bit is cleared in PFS page 0 (byte 0: pages 0..7) while it still holds a record.
  Patch(path, PageAt(0) + 40, {0xBF});
  RunResult run = RunVizcheck({path});
  EXPECT_EQ(run.exitCode, 1) << run.output;
  EXPECT_THAT(run.output, HasSubstr("PROBLEM: page 3: is marked used but holds no page"));
  EXPECT_THAT(run.output,
              HasSubstr("PROBLEM: page 5: is marked used but has an invalid page type (page type 99)"));
  EXPECT_THAT(run.output, HasSubstr("PROBLEM: page 1: should be a EAM Page but is a TableRecord Page"));
  EXPECT_THAT(run.output,
              HasSubstr("PROBLEM: page 6: holds a TableRecord Page but is marked free in the maps"));
}

TEST(VizcheckTest, HeaderAndSizeInconsistenciesAreReported) {
  TempDir dir;
  std::string path = dir.File("hdr.db");
  MakeDatabase(path, {}, 2);
  Patch(path, 34, I32(9));  // LastUsedPageNo
  Patch(path, 42, {1});     // State: commit in progress
  RunResult run = RunVizcheck({path});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_THAT(run.output, HasSubstr("PROBLEM: header: State is 1"));
  EXPECT_THAT(run.output, HasSubstr("PROBLEM: header: LastUsedPageNo is 9, but the highest used page is 4"));

  std::string shortFile = dir.File("short.db");
  MakeDatabase(shortFile, {}, 2);
  std::filesystem::resize_file(shortFile, PageAt(5));
  RunResult cut = RunVizcheck({shortFile});
  EXPECT_EQ(cut.exitCode, 1);
  EXPECT_THAT(cut.output, HasSubstr("bytes long, but its pages need"));

  // A header claiming two billion pages is reported without examining pages that are not there.
  std::string huge = dir.File("huge.db");
  MakeDatabase(huge, {}, 2);
  Patch(huge, 30, I32(INT32_MAX));
  RunResult claimed = RunVizcheck({huge});
  EXPECT_EQ(claimed.exitCode, 1);
  EXPECT_THAT(claimed.output, HasSubstr("Total page count: 2147483647"));
  EXPECT_THAT(claimed.output, HasSubstr("bytes long, but its pages need"));
}

TEST(VizcheckTest, ExtentMarkedFullWithAFreePageIsReported) {
  TempDir dir;
  std::string path = dir.File("ext.db");
  MakeDatabase(path, {}, 4);
  // Extent 0 (pages 0..7) is not full; claim it is.
  Patch(path, PageAt(1) + 40, {0x03});
  RunResult run = RunVizcheck({path});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_THAT(run.output, HasSubstr("PROBLEM: page 1: extent 0 is marked full, but page 7 is free"));
}

// Extent entries and page links that an independent reader of the format would find wrong.
TEST(VizcheckTest, ImpossibleExtentEntriesAndLinksOutsideTheFileAreProblems) {
  TempDir dir;
  std::string path = dir.File("map.db");
  MakeDatabase(path, {}, 6);  // 14 pages: extent 0 (pages 0..7) full, extent 1 (8..13) has room
  const int64_t eamData = PageAt(1) + 40;
  Patch(path, eamData, {0x03 | (0x02 << 2) | (0x03 << 6)});  // extent 1: 2; extent 3 (past the end): 3
  Patch(path, PageAt(4) + 10, I32(14));                      // the first page after the file
  Patch(path, PageAt(5) + 10, I32(-7));
  Patch(path, PageAt(6) + 10, I32(1));  // a map page
  RunResult run = RunVizcheck({path});
  EXPECT_EQ(run.exitCode, 1) << run.output;
  ExpectReported(run, {"PROBLEM: page 1: extent 1 has the entry 2, which is never written",
                       "PROBLEM: page 1: extent 3 is marked full, but page 24 is free",
                       "PROBLEM: page 4: links to page 14, outside the file's 14 pages",
                       "PROBLEM: page 5: links to page -7, outside the file's 14 pages",
                       "PROBLEM: page 6: links to page 1, a map page", "5 problems found."});
}

// States that a process killed between two writes of the maps leaves, which the allocator takes in
// its stride: warnings, and the file stays sound.
TEST(VizcheckTest, HintsAndLeftoversOfInterruptedAllocationsAreWarnings) {
  TempDir dir;
  std::string path = dir.File("hint.db");
  MakeDatabase(path, {}, 6);
  Patch(path, PageAt(1) + 40, {0x01});  // extent 0 is full but marked as having room
  {
    // A page allocated outside any connection's record and never written: lost to the free space.
    TABSDiskPageManager manager;
    bool multiUser = false, repair = false, readOnly = false;
    manager.OpenDatabaseFile(path, {}, multiUser, false, repair, readOnly);
    EXPECT_EQ(manager.AllocatePageNumber(), 9);
  }
  Patch(path, 34, I32(8));  // as if the allocation had died before it wrote the header
  RunResult run = RunVizcheck({path});
  EXPECT_EQ(run.exitCode, 0) << run.output;
  ExpectReported(run, {"WARNING: page 1: extent 0 is marked as having room, but all its pages",
                       "WARNING: page 9: marked used but never written, and no connection has it",
                       "WARNING: header: LastUsedPageNo is 8, but page 9 above it is marked used",
                       "  unowned: 1", "No problems found (3 warnings)."});
}

// Pages a connection allocated and has not committed belong to it while it lives; once it has ended
// they wait for the next open, which returns them.
TEST(VizcheckTest, UncommittedPagesBelongToTheirConnectionUntilItEnds) {
  TempDir dir;
  std::string path = dir.File("open.db");
  MakeDatabase(path, {}, 2);
  auto manager = std::make_unique<TABSDiskPageManager>();
  bool multiUser = true, repair = false, readOnly = false;
  manager->OpenDatabaseFile(path, {}, multiUser, false, repair, readOnly);
  for (int index = 0; index < 3; ++index) manager->ReleasePage(manager->AddPage(1, ptTableRecord));
  RunResult open = RunVizcheck({path});
  EXPECT_EQ(open.exitCode, 0) << open.output;
  EXPECT_THAT(open.output, HasSubstr("  uncommitted: 3"));
  EXPECT_THAT(open.output, Not(HasSubstr("WARNING")));

  manager->Rollback(1);
  manager->ReleasePage(manager->AddPage(1, ptTableRecord));
  manager->ReleasePage(manager->AddPage(1, ptTableRecord));
  manager.reset();  // ends without committing (the page manager refuses nothing at the end)
  RunResult ended = RunVizcheck({path});
  EXPECT_EQ(ended.exitCode, 0) << ended.output;
  EXPECT_THAT(ended.output, HasSubstr("  abandoned: 2"));
  EXPECT_THAT(ended.output,
              HasSubstr("NOTE: page 5: allocated by a connection that ended before its commit"));

  TABSDiskPageManager reopened;
  reopened.OpenDatabaseFile(path, {}, multiUser, false, repair, readOnly);
  reopened.CloseDatabaseFile();
  RunResult returned = RunVizcheck({path});
  EXPECT_EQ(returned.exitCode, 0) << returned.output;
  EXPECT_THAT(returned.output, Not(HasSubstr("abandoned")));
  EXPECT_THAT(returned.output, Not(HasSubstr("uncommitted")));
}

// With one page per extent, EAM pages sit inside the first PFS page's range; cutting the file below
// one removes it while the PFS page keeps its bit. The engine makes it again when the file grows.
TEST(VizcheckTest, AMapPageCutOffWithTheFileEndIsANote) {
  TempDir dir;
  std::string path = dir.File("cut.db");
  TABSDiskPageManager manager;
  manager.CreateDatabaseFile(path, {}, 1, 512);
  manager.CloseDatabaseFile();
  bool multiUser = false, repair = false, readOnly = false;
  manager.OpenDatabaseFile(path, {}, multiUser, false, repair, readOnly);
  TABSDatabaseFreeSpaceManager& fsm = *manager.FreeSpaceManager();
  const int32_t secondEam = static_cast<int32_t>(fsm.EamPageNo(1));
  ASSERT_LT(secondEam, fsm.PagesPerPfs());
  std::vector<int32_t> pages;
  while (manager.Header().totalPageCount <= secondEam + 1) pages.push_back(manager.AllocatePageNumber());
  std::vector<uint8_t> page(manager.PageSize());
  InitPageHeader(page.data(), ptTableRecord, 1);
  manager.WritePageBuffer(pages.front(), page.data());
  for (size_t index = pages.size() - 1; index > 0; --index) manager.FreePageNo(pages[index]);
  ASSERT_LT(manager.Header().totalPageCount, secondEam);
  manager.CloseDatabaseFile();
  RunResult run = RunVizcheck({path});
  EXPECT_EQ(run.exitCode, 0) << run.output;
  EXPECT_THAT(run.output, HasSubstr("NOTE: page " + std::to_string(secondEam) +
                                    ": marked used in PFS page 0, a map page cut off with the file's end"));

  // The file grows over it again: the map page is back and the file still sound.
  manager.OpenDatabaseFile(path, {}, multiUser, false, repair, readOnly);
  while (manager.Header().totalPageCount <= secondEam + 1) {
    InitPageHeader(page.data(), ptTableRecord, 1);
    manager.WritePageBuffer(manager.AllocatePageNumber(), page.data());
  }
  manager.CloseDatabaseFile();
  RunResult grown = RunVizcheck({path});
  EXPECT_EQ(grown.exitCode, 0) << grown.output;
  EXPECT_THAT(grown.output, Not(HasSubstr("NOTE")));
}

TEST(VizcheckTest, FilesThatAreNotDatabasesCannotBeChecked) {
  TempDir dir;
  std::string path = dir.File("text.txt");
  std::ofstream(path) << "just some text that is long enough to hold a header of a database file....";
  RunResult run = RunVizcheck({path});
  EXPECT_EQ(run.exitCode, 2);
  EXPECT_THAT(run.output, HasSubstr("Invalid file format. Found signature: 'just some text t'"));
  EXPECT_EQ(RunVizcheck({dir.File("missing.db")}).exitCode, 2);
  EXPECT_EQ(RunVizcheck({}).exitCode, 2);
  EXPECT_EQ(RunVizcheck({path, "--password"}).exitCode, 2);
}

}  // namespace
}  // namespace viz
