// Helpers of the component tests: a database file made through TABSDatabase with the lyric table of
// the disk tests, and the file checker's verdict on a file.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "engine/components/VIZMain.h"
#include "support/temp_dir.h"

namespace viz::testing {

//! A connection for `path` under `alias`, not yet connected.
std::unique_ptr<TABSDatabase> NewConnection(const std::string& alias, const std::string& path,
                                            const std::string& password = {}, bool multiUser = false);
//! Makes the file of the connection (enciphered with cipher 1 when it has a password), connects it
//! and creates the table LYRIC: 0 Id INTEGER, 1 Name STRING(30), 2 Score INTEGER, 3 Notes MEMO
//! (zlib), unique index byId and index byName.
void MakeLyricDatabase(TABSDatabase& database);
//! A table dataset on LYRIC of the alias, not yet open.
std::unique_ptr<TABSTable> LyricTable(const std::string& alias, const std::string& indexName = {});
//! Appends a row (Id, Name, Score) through the dataset.
void AddRow(TABSTable& table, int id, const std::string& name, int score);
//! The Ids of the dataset from the first record on.
std::vector<int> Ids(TABSTable& table);
//! The PROBLEM and ERROR lines of vizcheck on the file, and one line for an abnormal end (none when
//! the tool is not part of the build).
std::vector<std::string> VizcheckProblems(const std::string& path, const std::string& password = {});
std::string FileBytes(const std::string& path);

}  // namespace viz::testing
