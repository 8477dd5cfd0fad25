// Helpers of the control tests: a database file with a lyric table like the player's (FileName
// STRING(40), TheLyric MEMO, Plays INTEGER; index byFileName), a table dataset that counts the
// records it reads, reported errors collected instead of shown, and a modal dialog answered from a
// timer.
#pragma once

#include <QString>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/components/VIZMain.h"
#include "framework/data/data_source.h"
#include "support/temp_dir.h"

namespace viz::testing {

//! A table dataset that counts the records it reads from its cursor.
class CountingTable : public TABSTable {
 public:
  using TABSTable::TABSTable;
  ~CountingTable() override { Close(); }
  int reads = 0;

 protected:
  TGetResult GetRecord(TRecordBuffer buffer, TGetMode mode, bool doCheck) override {
    const TGetResult result = TABSTable::GetRecord(buffer, mode, doCheck);
    if (result == grOK) ++reads;
    return result;
  }
};

struct LyricRow {
  std::string fileName;  // UTF-8
  std::string lyric;     // UTF-8
  int plays = 0;
};

//! A database file in a fresh folder with the lyric table, and a table dataset on it.
class LyricFixture {
 public:
  explicit LyricFixture(const std::vector<LyricRow>& rows = {});
  ~LyricFixture();

  TABSDatabase& Database() { return *database_; }
  //! The table dataset (open, on byFileName) and its data source.
  CountingTable& Table() { return *table_; }
  TDataSource& Source() { return source_; }
  //! Appends `count` rows named "Track000001.mp3" ... in one transaction.
  void AddNumberedRows(int count);
  //! The file names of the table in index order, read through a second dataset (UTF-8).
  std::vector<std::string> StoredNames();
  //! The lyric of the record named `fileName`, read through a second dataset (UTF-8); "<none>" when
  //! there is no such record.
  std::string StoredLyric(const std::string& fileName);
  //! Page requests of the database so far.
  int64_t PageRequests();

 private:
  TempDir dir_;
  std::unique_ptr<TABSDatabase> database_;
  std::unique_ptr<CountingTable> table_;
  TDataSource source_;
};

//! Collects what the controls report while it lives.
class ReportedErrors {
 public:
  ReportedErrors();
  ~ReportedErrors();
  std::vector<QString> messages;
};

//! Runs `answer` on the first modal dialog (of `className`, e.g. "QMessageBox") that opens while
//! `action` runs. Returns whether one opened.
bool AnswerModal(const char* className, const std::function<void(QWidget*)>& answer,
                 const std::function<void()>& action);

//! Types the text into the widget key by key (any characters, accented ones too).
void TypeText(QWidget* widget, const QString& text);

//! Lets pending events run for `milliseconds`.
void Pump(int milliseconds = 0);

}  // namespace viz::testing
