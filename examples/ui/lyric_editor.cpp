// The data-aware controls over a lyric table: a grid of all records with a navigator bar under
// it, and beside them the file name in an edit and the lyric in a memo. The password dialog asks
// for the password the program leaves out ("wimbl47").
//
//   lyric_editor <database file> [--new] [--quit-after <ms>] [--grab <image.png>]
//
// The file is made, with a few lyrics, when it does not exist (--new: made again). --quit-after closes the
// window by itself (the tests run it that way on the offscreen platform); --grab saves a picture of the
// window just before.
#include <QApplication>
#include <QGridLayout>
#include <QLabel>
#include <QTimer>
#include <QWidget>
#include <cstdio>
#include <filesystem>

#include "engine/components/VIZMain.h"
#include "engine/platform/text.h"
#include "framework/ui/vizdb_ui.h"

using namespace viz;

namespace {

constexpr const char* kPassword = "wimbl47";

void MakeLyricFile(const std::string& fileName) {
  TABSDatabase database(nullptr, "Maker");
  database.SetDatabaseName("NewLyrics");
  database.SetDatabaseFileName(fileName);
  database.SetPassword(kPassword);
  database.SetCipherType(1);
  database.MakeDatabaseFile();
  database.Open();

  TABSFieldDefs fields;
  TABSFieldDef& name = fields.AddCreated();
  name.SetName("FileName");
  name.SetDataType(dt::kString, 60);
  TABSFieldDef& lyric = fields.AddCreated();
  lyric.SetName("TheLyric");
  lyric.SetDataType(dt::kMemo, 0);
  lyric.BlobCompressionAlgorithm = 1;
  lyric.BlobCompressionMode = 6;
  TABSIndexDefs indexes;
  auto index = std::make_unique<TABSIndexDef>();
  index->SetName("byFileName");
  TABSIndexColumn key;
  key.FieldName = "FileName";
  index->Columns.push_back(key);
  indexes.Add(std::move(index));
  TABSLocalCursor cursor(database.EngineSession());
  cursor.SetTableName("LYRIC");
  cursor.CreateTable(fields, indexes, TABSConstraintDefs());

  TABSTable table;
  table.SetDatabaseName("NewLyrics");
  table.SetTableName("LYRIC");
  table.Open();
  const char* const rows[][2] = {
      {"BlankMemo", "No Lyric"},
      {"Chanson d'été.mp3", "Là-bas, sous le ciel d'été,\nune chanson naïve et légère\n— à fredonner."},
      {"Morning Song.mp3", "Wake up, the sun is high,\nthe birds are singing in the sky."},
      {"Über den Wolken.mp3", "Über den Wolken muß die Freiheit wohl grenzenlos sein."},
      {"Zapateado.mp3", "Baila, baila, corazón."},
  };
  for (const auto& row : rows) {
    table.Append();
    table.FieldByName("FileName").SetAsString(platform::Utf8ToWin1252(row[0]));
    table.FieldByName("TheLyric").SetAsString(platform::Utf8ToWin1252(row[1]));
    table.Post();
  }
}

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  application.setApplicationName("Lyric editor");
  if (argc < 2) {
    std::fprintf(stderr,
                 "usage: lyric_editor <database file> [--new] [--quit-after <ms>] [--grab <image.png>]\n");
    return 2;
  }
  const std::string fileName = argv[1];
  int quitAfter = -1;
  QString grab;
  bool fresh = false;
  for (int index = 2; index < argc; ++index) {
    const std::string option = argv[index];
    if (option == "--new") fresh = true;
    if (option == "--quit-after" && index + 1 < argc) quitAfter = std::atoi(argv[++index]);
    if (option == "--grab" && index + 1 < argc) grab = QString::fromLocal8Bit(argv[++index]);
  }
  try {
    if (fresh) std::filesystem::remove(fileName);
    if (!std::filesystem::exists(fileName)) MakeLyricFile(fileName);
    // The engine asks for a password through the Qt dialog; with --quit-after it is typed for the
    // user, so that the program runs unattended.
    ui::InstallQtPrompts();
    TABSDatabase database(nullptr, "VIZDatabase1");
    database.SetDatabaseName("MyLyrics");
    database.SetDatabaseFileName(fileName);
    if (quitAfter >= 0) database.SetPassword(kPassword);
    database.Open();
    TABSTable table;
    table.SetName("VIZTable1");
    table.SetDatabaseName("MyLyrics");
    table.SetTableName("LYRIC");
    table.SetIndexName("byFileName");
    table.Open();
    TDataSource source;
    source.SetDataSet(&table);

    QWidget window;
    window.setWindowTitle("Lyric editor");
    auto* grid = new ui::TDBGrid(&window);
    grid->setObjectName("DBGrid1");
    grid->SetDataSource(&source);
    auto* navigator = new ui::TDBNavigator(&window);
    navigator->setObjectName("DBNavigator1");
    navigator->SetDataSource(&source);
    auto* fileLabel = new QLabel("FileName", &window);
    auto* name = new ui::TDBEdit(&window);
    name->setObjectName("dbeFileName");
    name->SetDataSource(&source);
    name->SetDataField("FileName");
    auto* memo = new ui::TDBMemo(&window);
    memo->setObjectName("dbeTheLyric");
    memo->SetDataSource(&source);
    memo->SetDataField("TheLyric");
    auto* layout = new QGridLayout(&window);
    layout->addWidget(grid, 0, 0, 3, 1);
    layout->addWidget(navigator, 3, 0);
    layout->addWidget(fileLabel, 0, 1);
    layout->addWidget(name, 1, 1);
    layout->addWidget(memo, 2, 1, 2, 1);
    layout->setColumnStretch(0, 3);
    layout->setColumnStretch(1, 2);
    window.resize(760, 360);
    window.show();
    table.Next();

    if (quitAfter >= 0) {
      QTimer::singleShot(quitAfter, &window, [&] {
        if (!grab.isEmpty()) window.grab().save(grab);
        std::printf("%d records; current: %s\n", table.RecordCount(),
                    platform::Win1252ToUtf8(table.FieldByName("FileName").AsString()).c_str());
        window.close();
      });
    }
    const int result = application.exec();
    ui::UninstallQtPrompts();
    return result;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s\n", platform::Win1252ToUtf8(error.what()).c_str());
    return 1;
  }
}
