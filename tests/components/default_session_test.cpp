// The default session is there from the start: a connection naming it "Default" finds it even in a
// program that has not touched a session before.
#include <gtest/gtest.h>

#include "engine/components/VIZMain.h"
#include "support/child_process.h"
#include "support/temp_dir.h"

namespace viz {
namespace {

using testing::ChildProcess;
using testing::Reply;

// Runs in a fresh process, where nothing has made the default session yet.
VIZ_CHILD_ROLE(defaultSessionByName) {
  TABSDatabase database;
  database.SetDatabaseName("ByName");
  database.SetDatabaseFileName(args.at(0));
  database.SetSessionName("Default");
  try {
    database.MakeDatabaseFile();
    database.Open();
    Reply(database.Connected() ? "connected" : "not connected");
  } catch (const std::exception& error) {
    Reply(error.what());
  }
  return 0;
}

TEST(DefaultSessionTest, AConnectionFindsItByNameInAFreshProgram) {
  testing::TempDir dir;
  ChildProcess child("defaultSessionByName", {dir.File("db.svl")});
  EXPECT_EQ(child.ReadLine(), "connected");
  EXPECT_EQ(child.Finish(), 0);
}

}  // namespace
}  // namespace viz
