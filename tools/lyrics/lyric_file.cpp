#include "tools/lyrics/lyric_file.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>

#include "engine/components/VIZMain.h"
#include "engine/platform/text.h"

namespace sonvale {

using namespace viz;

namespace {

// The tool's own alias, so that it never meets a connection of the player in the same process.
constexpr const char* kToolAlias = "SonvaleLyricTool";

std::string Utf16Bytes(const std::u16string& text) {
  return std::string(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(char16_t));
}

std::u16string Utf16FromBytes(const std::string& bytes) {
  std::u16string text(bytes.size() / 2, u'\0');
  for (size_t unit = 0; unit < text.size(); ++unit) {
    text[unit] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * unit]) |
                                       static_cast<unsigned char>(bytes[2 * unit + 1]) << 8);
  }
  return text;
}

// True when `bytes` is well-formed UTF-8 (no overlong forms, no surrogates, nothing above U+10FFFF).
bool IsUtf8(std::string_view bytes) {
  size_t at = 0;
  while (at < bytes.size()) {
    const auto lead = static_cast<unsigned char>(bytes[at]);
    size_t length = 0;
    uint32_t code = 0;
    if (lead < 0x80) {
      ++at;
      continue;
    } else if ((lead & 0xE0) == 0xC0) {
      length = 2;
      code = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
      length = 3;
      code = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
      length = 4;
      code = lead & 0x07;
    } else {
      return false;
    }
    if (at + length > bytes.size()) return false;
    for (size_t next = 1; next < length; ++next) {
      const auto byte = static_cast<unsigned char>(bytes[at + next]);
      if ((byte & 0xC0) != 0x80) return false;
      code = code << 6 | (byte & 0x3F);
    }
    static constexpr uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < kSmallest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
    at += length;
  }
  return true;
}

std::string NormaliseLineEnds(const std::string& text) {
  std::string result;
  result.reserve(text.size());
  for (size_t at = 0; at < text.size(); ++at) {
    if (text[at] == '\r') {
      result += '\n';
      if (at + 1 < text.size() && text[at + 1] == '\n') ++at;
    } else {
      result += text[at];
    }
  }
  return result;
}

void CreateLyricTable(TABSDatabase& database) {
  TABSFieldDefs fields;
  TABSFieldDef& fileName = fields.AddCreated();
  fileName.SetName(lyric_file::kFileNameField);
  fileName.SetDataType(dt::kWideString, lyric_file::kFileNameSize);
  TABSFieldDef& lyric = fields.AddCreated();
  lyric.SetName(lyric_file::kLyricField);
  lyric.SetDataType(dt::kWideMemo, 0);
  lyric.BlobCompressionAlgorithm = 1;  // zlib
  lyric.BlobCompressionMode = 6;

  TABSIndexDefs indexes;
  auto index = std::make_unique<TABSIndexDef>();
  index->SetName(lyric_file::kIndex);
  index->Unique = false;
  TABSIndexColumn key;
  key.FieldName = lyric_file::kFileNameField;
  key.CaseInsensitive = false;
  index->Columns.push_back(key);
  indexes.Add(std::move(index));

  TABSConstraintDefs constraints;
  TABSLocalCursor cursor(database.EngineSession());
  cursor.SetTableName(lyric_file::kTable);
  cursor.CreateTable(fields, indexes, constraints);
}

std::string ReadWholeFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

}  // namespace

std::string FileNameText(const TField& field) {
  return platform::Utf16ToUtf8(field.AsWideString());
}

void SetFileNameText(TField& field, const std::string& text) {
  field.SetAsWideString(platform::Utf8ToUtf16(text));
}

std::string LyricText(const TField& field) {
  return platform::Utf16ToUtf8(Utf16FromBytes(field.AsString()));
}

void SetLyricText(TField& field, const std::string& text) {
  field.SetAsString(Utf16Bytes(platform::Utf8ToUtf16(text)));
}

void InsertBlankRecord(TDataSet& table) {
  table.Insert();
  try {
    SetFileNameText(table.FieldByName(lyric_file::kFileNameField), lyric_file::kBlankName);
    SetLyricText(table.FieldByName(lyric_file::kLyricField), lyric_file::kBlankLyric);
    table.Post();
  } catch (...) {
    table.Cancel();
    throw;
  }
}

std::string TrackNameOfTextFile(const std::string& fileName) {
  if (fileName.empty() || fileName[0] == '.') return {};
  std::string name = fileName;
  if (name.size() > 4 && platform::LowerCase(name.substr(name.size() - 4)) == ".txt") name.resize(name.size() - 4);
  return name;
}

std::string DecodeLyricText(const std::string& bytes) {
  std::string text;
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF && static_cast<unsigned char>(bytes[1]) == 0xFE) {
    text = platform::Utf16ToUtf8(Utf16FromBytes(bytes.substr(2)));
  } else if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFE &&
             static_cast<unsigned char>(bytes[1]) == 0xFF) {
    std::string swapped = bytes.substr(2);
    for (size_t at = 0; at + 1 < swapped.size(); at += 2) std::swap(swapped[at], swapped[at + 1]);
    text = platform::Utf16ToUtf8(Utf16FromBytes(swapped));
  } else if (bytes.rfind("\xEF\xBB\xBF", 0) == 0) {
    text = bytes.substr(3);
  } else if (IsUtf8(bytes)) {
    text = bytes;
  } else {
    text = platform::Win1252ToUtf8(bytes);
  }
  return NormaliseLineEnds(text);
}

LyricLoadReport PrepareLyricFile(const std::string& path, const std::string& textFolder) {
  namespace fs = std::filesystem;
  LyricLoadReport report;
  TABSDatabase database;
  database.SetName("LyricToolDatabase");
  database.SetDatabaseName(kToolAlias);
  database.SetDatabaseFileName(path);
  database.SetPassword(lyric_file::kPassword);
  database.SetCipherType(lyric_file::kCipherType);
  // No password is asked for: a file with another password is refused.
  database.OnPassword = [](TABSDatabase&, bool& answer) { answer = false; };
  const bool existed = fs::exists(path);
  if (!existed) {
    const fs::path folder = fs::path(path).parent_path();
    if (!folder.empty()) fs::create_directories(folder);
    database.MakeDatabaseFile();
  }
  database.Open();
  // A file that cannot be written, or one a player keeps open for itself, opens read-only.
  if (database.ReadOnly()) {
    database.Close();
    throw std::runtime_error("the file cannot be written: it is read-only, or a program (the player) has it open");
  }
  if (!existed) CreateLyricTable(database);

  TABSTable table;
  table.SetName("LyricToolTable");
  table.SetDatabaseName(kToolAlias);
  table.SetTableName(lyric_file::kTable);
  table.SetIndexName(lyric_file::kIndex);
  table.Open();
  TField& fileName = table.FieldByName(lyric_file::kFileNameField);
  TField& lyric = table.FieldByName(lyric_file::kLyricField);

  // Every name the table holds, with the first of its records.
  std::map<std::u16string, TBookmark> records;
  for (table.First(); !table.Eof(); table.Next()) records.try_emplace(fileName.AsWideString(), table.GetBookmark());
  if (!records.count(platform::Utf8ToUtf16(lyric_file::kBlankName))) InsertBlankRecord(table);

  if (!textFolder.empty()) {
    std::vector<fs::path> files;
    for (const fs::directory_entry& entry : fs::directory_iterator(textFolder)) {
      if (entry.is_regular_file()) files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    for (const fs::path& file : files) {
      const std::string name = TrackNameOfTextFile(file.filename().string());
      const std::u16string key = platform::Utf8ToUtf16(name);
      if (name.empty()) {
        report.skipped.push_back(file.filename().string() + ": names no track");
        continue;
      }
      if (!IsUtf8(name) || key.size() > static_cast<size_t>(lyric_file::kFileNameSize)) {
        report.skipped.push_back(file.filename().string() + ": the track name is not UTF-8 or longer than " +
                                 std::to_string(lyric_file::kFileNameSize) + " characters");
        continue;
      }
      const std::string text = DecodeLyricText(ReadWholeFile(file));
      const auto known = records.find(key);
      if (known != records.end()) {
        table.GotoBookmark(known->second);
        table.Edit();
        ++report.replaced;
      } else {
        table.Insert();
        SetFileNameText(fileName, name);
        ++report.added;
      }
      try {
        SetLyricText(lyric, text);
        table.Post();
      } catch (...) {
        table.Cancel();
        throw;
      }
      if (known == records.end()) records.emplace(key, table.GetBookmark());
    }
  }
  table.Close();
  database.Close();
  return report;
}

}  // namespace sonvale
