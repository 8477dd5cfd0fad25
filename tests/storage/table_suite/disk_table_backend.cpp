// The disk backend of the table behaviour suite: a database file of its own in a fresh folder, one
// session connected, and the file checker's judgement of the file once the session is gone.
#include <memory>
#include <string>

#include "storage/disk/disk_test_util.h"
#include "support/disk_database.h"
#include "support/suite_table.h"
#include "support/temp_dir.h"

namespace viz::testing {
namespace {

class DiskBackend : public TableBackend {
 public:
  DiskBackend() : database_(NewDiskDatabase(dir_.Path())) { ConnectDiskSession(*database_, session_); }
  ~DiskBackend() override { Disconnect(); }
  TABSDatabaseData& Database() override { return *database_; }
  TABSBaseSession& Session() override { return session_; }
  bool Editable() const override { return true; }
  bool ChecksConstraints() const override { return true; }
  void PrepareInsert(TABSTableData& table, TABSCursor& cursor) override {
    static_cast<TABSDiskTableData&>(table).PrepareForInsert(&cursor);
  }
  //! The page cache keeps pages of the file after a table is gone.
  bool GivesMemoryBack() const override { return false; }
  //! Closes the database and runs the file checker on the file.
  std::string Check() override {
    Disconnect();
    std::string problems;
    for (const std::string& line : CheckerProblems(database_->FileName())) problems += line + "\n";
    return problems;
  }

 private:
  void Disconnect() {
    if (!connected_) return;
    connected_ = false;
    database_->DisconnectSession(&session_);
  }

  TempDir dir_;
  std::unique_ptr<TABSDiskDatabaseData> database_;
  TABSBaseSession session_;
  bool connected_ = true;
};

// Registered before the suite's tests are listed (they are when the test program starts).
const bool registered = [] {
  TableBackends()["disk"] = [] { return std::make_unique<DiskBackend>(); };
  return true;
}();

}  // namespace
}  // namespace viz::testing
