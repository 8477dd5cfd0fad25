// The copy of one table into another database, record by record with its BLOB values: what the
// repair of a damaged file runs for each of its tables.
#pragma once

#include <functional>
#include <string>

namespace viz {

class TABSLocalSession;

//! Creates table `tableName` in the target session's database with the definitions of the source
//! session's table of that name and copies every record into it. A record that cannot be read or
//! stored adds a line to `errors` and the copy goes on; an error that ends the copy (the table
//! cannot be opened or created) is raised. `progress` gets 0-100 and returns false to stop; the
//! result is then false.
bool CopyTable(TABSLocalSession& source, TABSLocalSession& target, const std::string& tableName,
               std::string& errors, const std::function<bool(int percent)>& progress);

}  // namespace viz
