// The sessions file: one slot per connection, held by its byte lock, shared by processes; the
// single-user hold; and the guard byte, which a connect may have to do without.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <set>

#include "storage/disk/disk_test_util.h"
#include "support/child_process.h"
#include "support/temp_dir.h"

namespace viz {
namespace {

using testing::CatalogDatabase;
using testing::ChildProcess;
using testing::ErrorOf;
using ::testing::HasSubstr;
using testing::TempDir;

class SessionsFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.File("sessions.vdb");
    testing::CreateCatalogDatabase(path_, 2, 1);
  }
  TempDir dir_;
  std::string path_;
};

TEST_F(SessionsFileTest, AThirdConnectionOfTwoSlotsFailsAndAFreedSlotIsReused) {
  CatalogDatabase db(path_);
  TABSActiveSessionsFile& sessions = db.catalog.Sessions();
  EXPECT_EQ(sessions.SlotCount(), 2);
  EXPECT_EQ(sessions.Connect(), 0);
  EXPECT_EQ(sessions.Connect(), 1);
  auto [code, text] = ErrorOf([&] { sessions.Connect(); });
  EXPECT_EQ(code, 20094);
  EXPECT_THAT(text, HasSubstr("Cannot connect session. Maximum connections quantity exceeded or database is "
                              "open in single-user mode"));
  sessions.Disconnect(0);
  EXPECT_EQ(sessions.Connect(), 0);
  // A failed connect let the guard go: the next one does not wait for it.
  EXPECT_TRUE(sessions.LockFile());
  sessions.UnlockFile();
  sessions.Disconnect(1);
  auto notHeld = ErrorOf([&] { sessions.Disconnect(1); });
  EXPECT_EQ(notHeld.first, 20095);
  EXPECT_THAT(notHeld.second, HasSubstr("Cannot disconnect session"));
  EXPECT_EQ(ErrorOf([&] { sessions.Disconnect(7); }).first, 20095);
  sessions.Disconnect(0);
}

TEST_F(SessionsFileTest, SingleUserConnectionsAreAllNumberZeroAndTheHoldKeepsOthersOut) {
  CatalogDatabase single(path_, false);
  TABSActiveSessionsFile& sessions = single.catalog.Sessions();
  EXPECT_EQ(sessions.Connect(), 0);
  EXPECT_EQ(sessions.Connect(), 0);
  sessions.Disconnect(0);
  ASSERT_TRUE(sessions.TakeSingleUserHold());
  EXPECT_TRUE(sessions.IsByteLocked(0) && sessions.IsByteLocked(1));

  CatalogDatabase multi(path_, true);
  EXPECT_EQ(ErrorOf([&] { multi.catalog.Sessions().Connect(); }).first, 20094);
  CatalogDatabase secondSingle(path_, false);
  EXPECT_FALSE(secondSingle.catalog.Sessions().TakeSingleUserHold());

  sessions.ReleaseSingleUserHold();
  EXPECT_FALSE(sessions.HoldsSingleUser());
  EXPECT_EQ(multi.catalog.Sessions().Connect(), 0);
  // A slot in use makes the hold fail, and a failed hold leaves every slot as it was.
  EXPECT_FALSE(sessions.TakeSingleUserHold());
  EXPECT_FALSE(sessions.IsByteLocked(1));
  multi.catalog.Sessions().Disconnect(0);
}

// The guard is held elsewhere for longer than the connect tries: the connect goes on without it, and
// must not then fail to release a guard it never took (which used to leave its slot locked).
TEST_F(SessionsFileTest, AConnectThatCannotTakeTheGuardStillConnectsAndReleasesCleanly) {
  ChildProcess child("peer", {path_});
  ASSERT_EQ(child.ReadLine(), "ready");
  ASSERT_EQ(child.Ask("guard"), "1");
  CatalogDatabase db(path_);
  db.db.manager.SetLockRetryPolicy(3, 1);
  TABSActiveSessionsFile& sessions = db.catalog.Sessions();
  int32_t number = -1;
  ASSERT_EQ(ErrorOf([&] { number = sessions.Connect(); }).first, 0);
  EXPECT_EQ(number, 0);
  EXPECT_EQ(child.Ask("slot 0"), "1");
  ASSERT_EQ(ErrorOf([&] { sessions.Disconnect(number); }).first, 0);
  EXPECT_EQ(child.Ask("slot 0"), "0");
  // The single-user hold does without the guard the same way.
  ASSERT_EQ(ErrorOf([&] { EXPECT_TRUE(sessions.TakeSingleUserHold()); }).first, 0);
  EXPECT_EQ(child.Ask("slot 1"), "1");
  ASSERT_EQ(ErrorOf([&] { sessions.ReleaseSingleUserHold(); }).first, 0);
  EXPECT_EQ(child.Ask("connect"), "0");
}

TEST(SessionsProcessTest, EightProcessesConnectingAtOnceGetEightNumbers) {
  TempDir dir;
  const std::string path = dir.File("eight.vdb");
  testing::CreateCatalogDatabase(path, 8, 0);
  std::vector<std::unique_ptr<ChildProcess>> children;
  for (int index = 0; index < 8; ++index) {
    children.push_back(std::make_unique<ChildProcess>("peer", std::vector<std::string>{path}));
  }
  for (auto& child : children) ASSERT_EQ(child->ReadLine(), "ready");
  for (auto& child : children) child->Send("connect");
  std::set<std::string> numbers;
  for (auto& child : children) numbers.insert(child->ReadLine());
  EXPECT_EQ(numbers, (std::set<std::string>{"0", "1", "2", "3", "4", "5", "6", "7"}));
  CatalogDatabase here(path);
  EXPECT_EQ(ErrorOf([&] { here.catalog.Sessions().Connect(); }).first, 20094);
}

}  // namespace
}  // namespace viz
