// The tables an expression reads beyond its row (LASTAUTOINC), for the expressions of one engine
// session: each table is read through a private read-only cursor of that session.
#pragma once

#include <memory>
#include <string_view>

#include "engine/sql/expressions/table_access.h"

namespace viz {

class TABSLocalSession;

class TABSSessionExprDatabase : public TABSExprDatabase {
 public:
  //! REQUIRES: the session outlives the readers it opens.
  explicit TABSSessionExprDatabase(TABSLocalSession* session) : session_(session) {}

  //! Raises the cursor's errors for a table that cannot be opened.
  std::unique_ptr<TABSExprTableReader> OpenTable(std::string_view tableName, bool inMemory) override;

 private:
  TABSLocalSession* session_;
};

}  // namespace viz
