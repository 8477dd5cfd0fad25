// Sessions and database connections: names, defaults, connecting, passwords, read-only files and
// transactions at component level.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "components/components_test_util.h"
#include "framework/data/exceptions.h"
#include "support/disk_tables.h"

namespace viz::testing {
namespace {

template <class Error, class Step>
std::string ErrorOf(Step&& step) {
  try {
    step();
  } catch (const Error& error) {
    return error.Message();
  }
  return "<no error>";
}

TEST(SessionTest, DefaultSessionAndNames) {
  EXPECT_EQ(DefaultSession().SessionName(), "Default");
  EXPECT_EQ(TABSEngineManager::Instance().Sessions().front(), &DefaultSession());
  EXPECT_EQ(TABSEngineManager::Instance().FindSession(""), &DefaultSession());

  TABSSession first(nullptr, "First");
  first.SetSessionName("Reports");
  TABSSession second(nullptr, "Second");
  EXPECT_EQ(ErrorOf<EDatabaseError>([&] { second.SetSessionName("REPORTS"); }),
            "Second: Duplicate session name 'REPORTS'");
  EXPECT_EQ(TABSEngineManager::Instance().FindSession("reports"), &first);
  first.Open();
  EXPECT_EQ(ErrorOf<EDatabaseError>([&] { first.SetSessionName("Other"); }),
            "First: Cannot perform this operation on an active session");
  TABSSession unnamed(nullptr, "Unnamed");
  EXPECT_EQ(ErrorOf<EDatabaseError>([&] { unnamed.Open(); }), "Unnamed: Session name missing");
}

TEST(SessionTest, AutomaticNamesTakeTheLowestFreeNumber) {
  TABSComponentOwner form1("Form1"), form2("Form2");
  auto s1 = std::make_unique<TABSSession>(&form1, "S1");
  TABSDatabase database(&form1, "Database1");
  s1->SetAutoSessionName(true);
  EXPECT_EQ(s1->SessionName(), "S1_1");
  EXPECT_EQ(database.SessionName(), "S1_1");
  TABSSession s2(&form2, "S2");
  s2.SetAutoSessionName(true);
  EXPECT_EQ(s2.SessionName(), "S2_2");
  EXPECT_EQ(ErrorOf<EDatabaseError>([&] { s2.SetSessionName("X"); }),
            "S2: Cannot modify SessionName while AutoSessionName is enabled");
  EXPECT_EQ(
      ErrorOf<EDatabaseError>([&] { TABSSession extra(&form1, "S3"); }),
      "S3: Cannot add a session to the form or data-module while session 'S1_1' has AutoSessionName enabled");
  s1.reset();
  TABSComponentOwner form3("Form3");
  TABSSession s4(&form3, "S4");
  s4.SetAutoSessionName(true);
  EXPECT_EQ(s4.SessionName(), "S4_1");
}

TEST(DatabaseTest, PublishedDefaults) {
  TABSDatabase database;
  EXPECT_EQ(database.CurrentVersion(), "4.89 ");
  EXPECT_FALSE(database.Connected());
  EXPECT_EQ(database.DatabaseName(), "");
  EXPECT_EQ(database.DatabaseFileName(), "");
  EXPECT_EQ(database.Password(), "");
  EXPECT_FALSE(database.Exclusive());
  EXPECT_FALSE(database.ReadOnly());
  EXPECT_FALSE(database.MultiUser());
  EXPECT_EQ(database.MaxConnections(), 500);
  EXPECT_TRUE(database.KeepConnection());
  EXPECT_FALSE(database.HandleShared());
  EXPECT_FALSE(database.SilentMode());
  EXPECT_FALSE(database.DisableTempFiles());
  EXPECT_EQ(database.PageSize(), 4096);
  EXPECT_EQ(database.ExtentPageCount(), 8);
  EXPECT_EQ(database.CipherType(), 0);
}

TEST(DatabaseTest, ConnectingAndItsErrors) {
  TempDir dir;
  const std::string path = dir.File("a.svl");
  TABSDatabase nameless(nullptr, "Nameless");
  EXPECT_EQ(ErrorOf<EDatabaseError>([&] { nameless.Open(); }), "Nameless: Database name missing");
  auto missing = NewConnection("Missing", dir.File("none.svl"));
  EXPECT_EQ(ErrorOf<EDatabaseError>([&] { missing->Open(); }),
            "MissingConnection: Database file '" + dir.File("none.svl") + "' does not exist");
  auto lost = NewConnection("Lost", path);
  lost->SetSessionName("NoSuchSession");
  EXPECT_EQ(ErrorOf<EABSException>([&] { lost->Open(); }),
            "Invalid session name 'NoSuchSession' - Native error: 20002");

  auto database = NewConnection("A", path);
  database->SetMaxConnections(16);
  database->SetPageSize(1024);
  MakeLyricDatabase(*database);
  EXPECT_TRUE(database->HasTable("lyric"));
  EXPECT_EQ(ErrorOf<EDatabaseError>([&] { database->SetDatabaseName("B"); }),
            "AConnection: Cannot perform this operation on an open database");
  database->Close();

  // A second connection of the same file in this process shares the backend; creating the file
  // again while it is open is refused.
  auto other = NewConnection("Other", path);
  other->SetMaxConnections(10);
  other->Open();
  EXPECT_EQ(other->MaxConnections(), 16);
  EXPECT_EQ(other->PageSize(), 1024);
  auto again = NewConnection("Again", path);
  EXPECT_EQ(ErrorOf<EABSException>([&] { again->MakeDatabaseFile(); }),
            "Cannot create database. Database is already open - Native error: 20092");
  std::vector<std::string> names;
  again->ListTableNames(names);
  EXPECT_EQ(names, std::vector<std::string>{"LYRIC"});
  EXPECT_FALSE(again->Connected());
  other->Close();
  EXPECT_EQ(TABSEngineManager::Instance().DiskDatabaseCount(), 0u);
  EXPECT_TRUE(VizcheckProblems(path).empty());
}

TEST(DatabaseTest, PasswordRequests) {
  TempDir dir;
  const std::string path = dir.File("secret.svl");
  {
    auto maker = NewConnection("Maker", path, "open sesame");
    MakeLyricDatabase(*maker);
  }
  const std::string before = FileBytes(path);
  struct Case {
    std::string password;
    std::vector<std::string> answers;  // what OnPassword gives, in turn; empty text: refuse
    bool connects;
    int asked;
  };
  const Case cases[] = {
      {"", {}, false, 1},
      {"wrong", {}, false, 1},
      {"wrong", {"still wrong", "open sesame"}, true, 2},
      {"open sesame", {}, true, 0},
  };
  for (const Case& c : cases) {
    auto database = NewConnection("Secret", path, c.password);
    int asked = 0;
    database->OnPassword = [&](TABSDatabase& self, bool& answer) {
      if (asked < static_cast<int>(c.answers.size())) {
        self.SetPassword(c.answers[static_cast<size_t>(asked)]);
        answer = true;
      }
      ++asked;
    };
    const std::string error = ErrorOf<EABSException>([&] { database->Open(); });
    EXPECT_EQ(database->Connected(), c.connects) << c.password;
    EXPECT_EQ(asked, c.asked) << c.password;
    if (!c.connects) {
      EXPECT_EQ(error, "Cannot open database because incorrect password - Native error: 30445");
    }
    if (c.connects) {
      EXPECT_EQ(database->CipherType(), 1);
    }
    database->Close();
    EXPECT_EQ(FileBytes(path), before) << c.password;
  }
  // Without a handler the installed password dialog is asked; none is installed: the error stays.
  auto plain = NewConnection("Secret", path, "");
  EXPECT_EQ(ErrorOf<EABSException>([&] { plain->Open(); }),
            "Cannot open database because incorrect password - Native error: 30445");
  EXPECT_EQ(FileBytes(path), before);
  EXPECT_TRUE(VizcheckProblems(path, "open sesame").empty());
}

TEST(DatabaseTest, PasswordDialogAnswers) {
  TempDir dir;
  const std::string path = dir.File("dialog.svl");
  MakeLyricDatabase(*NewConnection("Maker", path, "pw"));
  struct Dialog : TABSPassDialog {
    int shown = 0;
    bool Execute(TABSDatabase& database, const std::string&) override {
      ++shown;
      database.SetPassword("pw");
      return true;
    }
  } dialog;
  TABSDialogs previous = SetDialogs({&dialog, nullptr, nullptr});
  auto database = NewConnection("Dialog", path, "");
  database->Open();
  SetDialogs(previous);
  EXPECT_TRUE(database->Connected());
  EXPECT_EQ(dialog.shown, 1);
  EXPECT_EQ(database->Password(), "pw");
}

TEST(DatabaseTest, ReadOnlyFileRefusesEveryChange) {
  TempDir dir;
  const std::string path = dir.File("ro.svl");
  {
    auto maker = NewConnection("Maker", path);
    MakeLyricDatabase(*maker);
    auto table = LyricTable("Maker");
    table->Open();
    AddRow(*table, 1, "one", 10);
  }
  ASSERT_EQ(chmod(path.c_str(), 0444), 0);
  const std::string before = FileBytes(path);
  auto database = NewConnection("RO", path);
  database->Open();
  EXPECT_TRUE(database->ReadOnly());
  auto table = LyricTable("RO", "byId");
  table->Open();
  EXPECT_TRUE(table->ReadOnly());
  EXPECT_EQ(Ids(*table), std::vector<int>{1});
  const std::vector<std::pair<const char*, std::function<void()>>> changes = {
      {"edit", [&] { table->Edit(); }},
      {"insert", [&] { table->Insert(); }},
      {"delete", [&] { table->Delete(); }},
      {"create",
       [&] {
         TABSLocalCursor cursor(database->EngineSession());
         cursor.SetTableName("NEW");
         cursor.CreateTable(*MakeFields({{"Id", dt::kInteger}}), TABSIndexDefs(), TABSConstraintDefs());
       }},
      {"transaction",
       [&] {
         database->BeginTransaction();
         struct End {
           TABSDatabase& d;
           ~End() { d.RollbackTransaction(); }
         } end{*database};
         table->Edit();
       }},
  };
  for (const auto& [name, change] : changes) {
    bool refused = false;
    try {
      change();
    } catch (const Exception& error) {
      refused = !error.Message().empty();
    }
    EXPECT_TRUE(refused) << name;
    EXPECT_EQ(table->State(), dsBrowse) << name;
  }
  table->Close();
  database->Close();
  EXPECT_EQ(FileBytes(path), before);
  chmod(path.c_str(), 0644);
  EXPECT_TRUE(VizcheckProblems(path).empty());
}

TEST(DatabaseTest, TransactionRulesAndRollback) {
  TempDir dir;
  const std::string path = dir.File("tx.svl");
  auto database = NewConnection("Tx", path);
  EXPECT_EQ(ErrorOf<EDatabaseError>([&] { database->BeginTransaction(); }),
            "TxConnection: Cannot perform this operation on a closed database");
  MakeLyricDatabase(*database);
  EXPECT_EQ(ErrorOf<EABSException>([&] { database->CommitTransaction(); }),
            "Database is not in transaction. Cannot perform operation - Native error: 20229");
  EXPECT_EQ(ErrorOf<EABSException>([&] { database->RollbackTransaction(); }),
            "Database is not in transaction. Cannot perform operation - Native error: 20229");
  auto table = LyricTable("Tx", "byId");
  table->Open();
  AddRow(*table, 1, "kept", 1);
  database->Close();
  const std::string before = FileBytes(path);
  database->Open();
  table->Open();
  database->BeginTransaction();
  EXPECT_EQ(ErrorOf<EDatabaseError>([&] { database->BeginTransaction(); }),
            "TxConnection: Database already in transaction");
  AddRow(*table, 2, "gone", 2);
  table->First();
  table->Edit();
  table->FieldByName("Name").SetAsString("changed");
  table->Post();
  EXPECT_EQ(Ids(*table), (std::vector<int>{1, 2}));
  database->RollbackTransaction();
  EXPECT_FALSE(database->InTransaction());
  EXPECT_EQ(Ids(*table), std::vector<int>{1});
  table->First();
  EXPECT_EQ(table->FieldByName("Name").AsString(), "kept");
  database->Close();
  EXPECT_EQ(FileBytes(path).size(), before.size());
  database->Open();
  table->Open();
  database->BeginTransaction();
  AddRow(*table, 3, "committed", 3);
  database->CommitTransaction();
  EXPECT_EQ(Ids(*table), (std::vector<int>{1, 3}));
  database->Close();
  EXPECT_TRUE(VizcheckProblems(path).empty());
}

}  // namespace
}  // namespace viz::testing
