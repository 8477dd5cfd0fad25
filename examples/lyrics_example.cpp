// A first program with the engine: an encrypted database file, a table with an index and a memo
// field, and the usual work on its rows through a table dataset.
//
//   lyrics_example [database file]        (default: lyrics_example.svl in the current folder)
//
// Every failure is an exception: EABSEngineError for a refused record operation (a duplicate key,
// a locked record), EABSException for everything else, both with a message that says what happened.
#include <cstdio>
#include <filesystem>
#include <string>

#include "engine/components/VIZMain.h"

using namespace viz;

namespace {

// Creates table LYRIC: Id INTEGER with a unique index, Title STRING(40) with an index, Lyric MEMO.
void CreateLyricTable(TABSDatabase& database) {
  TABSFieldDefs fields;
  auto addField = [&](const char* name, TABSDataType type, int32_t size) {
    TABSFieldDef& field = fields.AddCreated();
    field.SetName(name);
    field.SetDataType(type, size);
  };
  addField("Id", dt::kInteger, 0);
  addField("Title", dt::kString, 40);
  addField("Lyric", dt::kMemo, 0);
  fields[2].BlobCompressionAlgorithm = 1;  // zlib
  fields[2].BlobCompressionMode = 6;

  TABSIndexDefs indexes;
  auto addIndex = [&](const char* name, const char* column, bool unique) -> TABSIndexDef& {
    auto index = std::make_unique<TABSIndexDef>();
    index->SetName(name);
    index->Unique = unique;
    TABSIndexColumn key;
    key.FieldName = column;
    index->Columns.push_back(key);
    indexes.Add(std::move(index));
    return indexes[indexes.Count() - 1];
  };
  TABSConstraintDefs constraints;
  // A unique index is enforced by its constraint: a second row with the same Id is refused.
  constraints.Add(TABSBaseConstraintManager::ConstraintForIndex(addIndex("byId", "Id", true)));
  addIndex("byTitle", "Title", false);

  TABSLocalCursor cursor(database.EngineSession());
  cursor.SetTableName("LYRIC");
  cursor.CreateTable(fields, indexes, constraints);
}

void Print(TABSTable& table, const char* heading) {
  std::printf("%s\n", heading);
  for (table.First(); !table.Eof(); table.Next()) {
    std::printf("  %-3d %-12s %s\n", table.FieldByName("Id").AsInteger(),
                table.FieldByName("Title").AsString().c_str(), table.FieldByName("Lyric").AsString().c_str());
  }
}

void Add(TABSTable& table, int id, const std::string& title, const std::string& lyric) {
  table.Append();
  table.FieldByName("Id").SetAsInteger(id);
  table.FieldByName("Title").SetAsString(title);
  table.FieldByName("Lyric").SetAsString(lyric);
  table.Post();
}

}  // namespace

int main(int argc, char** argv) {
  const std::string fileName = argc > 1 ? argv[1] : "lyrics_example.svl";
  std::filesystem::remove(fileName);
  try {
    // The connection: an alias for datasets, the file, its password and cipher (1: the first of the
    // engine's ciphers). MakeDatabaseFile creates the file, Open connects.
    TABSDatabase database;
    database.SetDatabaseName("Lyrics");
    database.SetDatabaseFileName(fileName);
    database.SetPassword("a secret of ours");
    database.SetCipherType(1);
    database.MakeDatabaseFile();
    database.Open();
    CreateLyricTable(database);

    // The dataset: rows in the order of the index byId.
    TABSTable table;
    table.SetDatabaseName("Lyrics");
    table.SetTableName("LYRIC");
    table.SetIndexName("byId");
    table.Open();
    Add(table, 3, "Gamma Song", "Lyric of gamma");
    Add(table, 1, "Alpha Song", "Lyric of alpha");
    Add(table, 2, "Beta Song", "Lyric of beta");
    Add(table, 4, "Delta Song", "Lyric of delta");
    Print(table, "Inserted:");

    // A second row with Id 1 is refused, and nothing is stored.
    try {
      Add(table, 1, "Again", "");
    } catch (const EABSEngineError& error) {
      std::printf("Refused: %s\n", error.Message().c_str());
      table.Cancel();
    }

    // Find a row, edit it; delete another.
    if (table.Locate("Title", {Variant::FromString("beta song")}, loCaseInsensitive)) {
      table.Edit();
      table.FieldByName("Lyric").SetAsString(table.FieldByName("Lyric").AsString() + ", second verse");
      table.Post();
    }
    if (table.Locate("Id", {Variant::FromInteger(4)}, 0)) table.Delete();

    // Closing and opening again reads everything back from the enciphered file.
    table.Close();
    database.Close();
    database.Open();
    table.SetIndexName("byTitle");
    table.Open();
    Print(table, "After the changes:");
    std::printf("%d rows remain\n", table.RecordCount());

    // A key search on the active index, and a range of its keys.
    if (table.FindKey({Variant::FromString("Gamma Song")}))
      std::printf("Found by key: Id %d\n", table.FieldByName("Id").AsInteger());
    table.SetRange({Variant::FromString("A")}, {Variant::FromString("C")});
    Print(table, "Titles from A to C:");
    table.CancelRange();
  } catch (const Exception& error) {
    std::fprintf(stderr, "%s\n", error.Message().c_str());
    return 1;
  }
  return 0;
}
