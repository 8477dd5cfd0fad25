#include "components/components_test_util.h"

#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/disk_tables.h"

namespace viz::testing {

std::unique_ptr<TABSDatabase> NewConnection(const std::string& alias, const std::string& path,
                                            const std::string& password, bool multiUser) {
  auto database = std::make_unique<TABSDatabase>(nullptr, alias + "Connection");
  database->SetDatabaseName(alias);
  database->SetDatabaseFileName(path);
  database->SetPassword(password);
  database->SetCipherType(password.empty() ? 0 : 1);
  database->SetMultiUser(multiUser);
  database->SetMaxConnections(16);
  return database;
}

void MakeLyricDatabase(TABSDatabase& database) {
  database.MakeDatabaseFile();
  database.Open();
  TABSLocalCursor cursor(database.EngineSession());
  cursor.SetTableName("LYRIC");
  std::unique_ptr<TABSIndexDefs> indexes = MakeIndexes({{"byId", {"Id"}, true}, {"byName", {"Name"}}});
  TABSConstraintDefs constraints;
  constraints.Add(TABSBaseConstraintManager::ConstraintForIndex((*indexes)[0]));
  cursor.CreateTable(*MakeFields({{"Id", dt::kInteger},
                                  {"Name", dt::kString, 30},
                                  {"Score", dt::kInteger},
                                  {"Notes", dt::kMemo, 0, 1, 1, 1000}}),
                     *indexes, constraints);
}

std::unique_ptr<TABSTable> LyricTable(const std::string& alias, const std::string& indexName) {
  auto table = std::make_unique<TABSTable>(nullptr);
  table->SetName("LyricTable");
  table->SetDatabaseName(alias);
  table->SetTableName("LYRIC");
  table->SetIndexName(indexName);
  return table;
}

void AddRow(TABSTable& table, int id, const std::string& name, int score) {
  table.Append();
  table.FieldByName("Id").SetAsInteger(id);
  table.FieldByName("Name").SetAsString(name);
  table.FieldByName("Score").SetAsInteger(score);
  table.Post();
}

std::vector<int> Ids(TABSTable& table) {
  std::vector<int> ids;
  for (table.First(); !table.Eof(); table.Next()) ids.push_back(table.FieldByName("Id").AsInteger());
  return ids;
}

std::vector<std::string> VizcheckProblems(const std::string& path, const std::string& password) {
  std::vector<std::string> problems;
#ifdef VIZCHECK_PATH
  if (!std::filesystem::exists(VIZCHECK_PATH)) return problems;
  const std::string command =
      std::string("'") + VIZCHECK_PATH + "' '" + path + "' --password '" + password + "'";
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return {"vizcheck could not be started"};
  char line[4096];
  while (std::fgets(line, sizeof line, pipe)) {
    std::string text(line);
    if (text.rfind("PROBLEM:", 0) == 0 || text.rfind("ERROR:", 0) == 0) problems.push_back(text);
  }
  const int status = pclose(pipe);
  if (problems.empty() && !(WIFEXITED(status) && WEXITSTATUS(status) == 0))
    problems.push_back("vizcheck ended with status " + std::to_string(status));
#else
  (void)path;
  (void)password;
#endif
  return problems;
}

std::string FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

}  // namespace viz::testing
