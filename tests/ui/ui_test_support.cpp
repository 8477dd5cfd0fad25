#include "ui/ui_test_support.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>

#include "engine/platform/text.h"
#include "framework/ui/user_messages.h"
#include "support/disk_tables.h"

namespace viz::testing {

namespace {

std::unique_ptr<TABSTable> OpenLyricTable(const std::string& alias) {
  auto table = std::make_unique<TABSTable>(nullptr);
  table->SetName("Reader");
  table->SetDatabaseName(alias);
  table->SetTableName("LYRIC");
  table->SetIndexName("byFileName");
  table->Open();
  return table;
}

}  // namespace

LyricFixture::LyricFixture(const std::vector<LyricRow>& rows) {
  database_ = std::make_unique<TABSDatabase>(nullptr, "UiConnection");
  database_->SetDatabaseName("UiLyrics");
  database_->SetDatabaseFileName(dir_.File("LYRIC.SVL"));
  database_->SetMaxConnections(16);
  database_->MakeDatabaseFile();
  database_->Open();
  {
    TABSLocalCursor cursor(database_->EngineSession());
    cursor.SetTableName("LYRIC");
    cursor.CreateTable(
        *MakeFields(
            {{"FileName", dt::kString, 40}, {"TheLyric", dt::kMemo, 0, 1, 1, 0}, {"Plays", dt::kInteger}}),
        *MakeIndexes({{"byFileName", {"FileName"}}}), {});
  }
  table_ = std::make_unique<CountingTable>(nullptr);
  table_->SetName("VIZTable1");
  table_->SetDatabaseName("UiLyrics");
  table_->SetTableName("LYRIC");
  table_->SetIndexName("byFileName");
  table_->Open();
  for (const LyricRow& row : rows) {
    table_->Append();
    table_->FieldByName("FileName").SetAsString(platform::Utf8ToWin1252(row.fileName));
    if (!row.lyric.empty()) table_->FieldByName("TheLyric").SetAsString(platform::Utf8ToWin1252(row.lyric));
    table_->FieldByName("Plays").SetAsInteger(row.plays);
    table_->Post();
  }
  table_->First();
  source_.SetName("DataSource1");
  source_.SetDataSet(table_.get());
}

LyricFixture::~LyricFixture() {
  source_.SetDataSet(nullptr);
  table_.reset();
  database_.reset();
}

void LyricFixture::AddNumberedRows(int count) {
  TABSTable writer(nullptr);
  writer.SetName("Writer");
  writer.SetDatabaseName("UiLyrics");
  writer.SetTableName("LYRIC");
  writer.Open();
  database_->BeginTransaction();
  char name[32];
  for (int index = 1; index <= count; ++index) {
    std::snprintf(name, sizeof name, "Track%06d.mp3", index);
    writer.Append();
    writer.FieldByName("FileName").SetAsString(name);
    writer.FieldByName("Plays").SetAsInteger(index);
    writer.Post();
  }
  database_->CommitTransaction();
  writer.Close();
  table_->Refresh();
  table_->First();
}

std::vector<std::string> LyricFixture::StoredNames() {
  auto reader = OpenLyricTable("UiLyrics");
  std::vector<std::string> names;
  for (reader->First(); !reader->Eof(); reader->Next()) {
    names.push_back(platform::Win1252ToUtf8(reader->FieldByName("FileName").AsString()));
  }
  return names;
}

std::string LyricFixture::StoredLyric(const std::string& fileName) {
  auto reader = OpenLyricTable("UiLyrics");
  for (reader->First(); !reader->Eof(); reader->Next()) {
    if (platform::Win1252ToUtf8(reader->FieldByName("FileName").AsString()) == fileName) {
      return platform::Win1252ToUtf8(reader->FieldByName("TheLyric").AsString());
    }
  }
  return "<none>";
}

int64_t LyricFixture::PageRequests() {
  TABSPageManager* manager = table_->Cursor()->Table()->PageManager();
  return manager ? manager->PageRequestCount() : 0;
}

ReportedErrors::ReportedErrors() {
  ui::SetErrorReporter([this](QWidget*, const QString& message) { messages.push_back(message); });
}

ReportedErrors::~ReportedErrors() {
  ui::SetErrorReporter({});
}

bool AnswerModal(const char* className, const std::function<void(QWidget*)>& answer,
                 const std::function<void()>& action) {
  bool answered = false;
  QTimer timer;
  timer.setInterval(10);
  QObject::connect(&timer, &QTimer::timeout, [&] {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || answered || !modal->inherits(className) || !modal->isVisible()) return;
    answered = true;
    timer.stop();
    answer(modal);
  });
  timer.start();
  action();
  timer.stop();
  return answered;
}

void TypeText(QWidget* widget, const QString& text) {
  for (const QChar character : text) {
    const bool ascii = character.unicode() < 0x80 && character.isPrint();
    const Qt::Key key = ascii ? QTest::asciiToKey(static_cast<char>(character.unicode())) : Qt::Key_unknown;
    QTest::sendKeyEvent(QTest::Click, widget, key, QString(character), Qt::NoModifier);
  }
}

void Pump(int milliseconds) {
  QElapsedTimer clock;
  clock.start();
  do {
    QApplication::processEvents(QEventLoop::AllEvents, 10);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);  // closed editors go
  } while (clock.elapsed() < milliseconds);
}

}  // namespace viz::testing
