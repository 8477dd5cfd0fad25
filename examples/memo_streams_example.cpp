// Memo and wide memo fields through BLOB streams: a lyric written in pieces, read back in pieces,
// with two readers open on one record at once.
//
//   memo_streams_example [database file]   (default: memo_streams_example.svl in the current folder)
#include <cstdio>
#include <filesystem>
#include <string>

#include "engine/components/VIZMain.h"

using namespace viz;

namespace {

// Reads a whole stream in pieces of `piece` bytes.
std::string ReadAll(TStream& stream, int64_t piece) {
  std::string bytes;
  std::string buffer(static_cast<size_t>(piece), '\0');
  stream.SetPosition(0);
  for (int64_t read; (read = stream.Read(buffer.data(), piece)) > 0;) bytes.append(buffer.data(), read);
  return bytes;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string fileName = argc > 1 ? argv[1] : "memo_streams_example.svl";
  std::filesystem::remove(fileName);
  try {
    TABSDatabase database;
    database.SetDatabaseName("Memos");
    database.SetDatabaseFileName(fileName);
    database.MakeDatabaseFile();
    database.Open();
    {
      // FileName STRING(60), Notes MEMO (zlib, blocks of 16 KiB), TheLyric WIDEMEMO.
      TABSFieldDefs fields;
      auto add = [&](const char* name, TABSDataType type, int32_t size) -> TABSFieldDef& {
        TABSFieldDef& field = fields.AddCreated();
        field.SetName(name);
        field.SetDataType(type, size);
        return field;
      };
      add("FileName", dt::kString, 60);
      TABSFieldDef& notes = add("Notes", dt::kMemo, 0);
      notes.BlobCompressionAlgorithm = 1;
      notes.BlobCompressionMode = 6;
      notes.BlobBlockSize = 16384;
      add("TheLyric", dt::kWideMemo, 0);
      TABSLocalCursor cursor(database.EngineSession());
      cursor.SetTableName("LYRIC");
      cursor.CreateTable(fields, TABSIndexDefs(), TABSConstraintDefs());
    }
    TABSTable table;
    table.SetDatabaseName("Memos");
    table.SetTableName("LYRIC");
    table.Open();

    // Writing: the dataset is inserting or editing; a write stream starts from an empty value, and
    // what it holds goes into the record when the stream closes (or at the latest when the record
    // is posted).
    table.Append();
    table.FieldByName("FileName").SetAsString("river.mp3");
    std::string written;
    {
      std::unique_ptr<TStream> notes = table.CreateBlobStream(table.FieldByName("Notes"), bmWrite);
      for (int verse = 1; verse <= 2000; ++verse) {
        const std::string line = "Verse " + std::to_string(verse) + ": the river runs to the sea\n";
        notes->Write(line.data(), static_cast<int64_t>(line.size()));
        written += line;
      }
    }
    {
      // A wide memo holds UTF-16 text.
      const std::u16string lyric = u"L\u00e0 o\u00f9 la rivi\u00e8re rejoint la mer";
      std::unique_ptr<TStream> wide = table.CreateBlobStream(table.FieldByName("TheLyric"), bmWrite);
      wide->Write(lyric.data(), static_cast<int64_t>(lyric.size() * 2));
    }
    table.Post();

    // Reading: any number of readers may be open on one record; each reads the whole value.
    table.First();
    std::unique_ptr<TStream> first = table.CreateBlobStream(table.FieldByName("Notes"), bmRead);
    std::unique_ptr<TStream> second = table.CreateBlobStream(table.FieldByName("Notes"), bmRead);
    const std::string a = ReadAll(*first, 1000), b = ReadAll(*second, 65536);
    std::printf("Notes: %lld bytes, both readers agree: %s\n", static_cast<long long>(a.size()),
                a == b ? "yes" : "no");
    const std::string wide = ReadAll(*table.CreateBlobStream(table.FieldByName("TheLyric"), bmRead), 7);
    std::printf("TheLyric: %zu UTF-16 units\n", wide.size() / 2);
    return a == written && b == written ? 0 : 1;
  } catch (const EABSException& error) {
    std::fprintf(stderr, "Engine error: %s\n", error.Message().c_str());
  } catch (const Exception& error) {
    std::fprintf(stderr, "Error: %s\n", error.Message().c_str());
  }
  return 1;
}
