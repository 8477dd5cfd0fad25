// Reads a whole database file the way programs do, for the corruption tests and the fuzz target:
// every table in storage order and in the order of each index, every BLOB value, counts and
// ordinals. Also builds the small sample databases they damage. No test framework is needed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace viz::testing {

struct ReadOutcome {
  int32_t Tables = 0;
  int64_t Records = 0;
  //! Engine errors raised on the way (each stops the reading of one table).
  std::vector<std::string> Errors;
};

//! Reads everything of the database `path` (single-user, `password` for an enciphered file).
//! Engine errors are collected; any other exception passes out.
ReadOutcome ReadWholeDatabase(const std::string& path, const std::string& password = {});

//! Makes a small database: table LYRIC (Id INTEGER, Name STRING(30), Score INTEGER, Notes MEMO,
//! indexes byId unique and byName) with `records` records, a few with BLOB values of several pages,
//! and an empty table EMPTY.
void MakeSampleDatabase(const std::string& path, uint16_t pageSize, int32_t records,
                        const std::string& password = {});

}  // namespace viz::testing
