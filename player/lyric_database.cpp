#include "player/lyric_database.h"

#include <filesystem>

#include "engine/platform/text.h"
#include "player/text_util.h"
#include "tools/lyrics/lyric_file.h"

namespace sonvale {

using viz::Variant;

std::string LyricsUnavailableMessage(const std::string& fileName, const std::string& reason) {
  return "Lyrics are unavailable: the lyrics file " + fileName + " could not be opened (" + reason +
         "). The music plays on without lyrics.";
}

std::string LyricsReadOnlyMessage(const std::string& fileName) {
  return "The lyrics file " + fileName +
         " is read-only (for example copied from a CD): lyrics show, but cannot be added or changed. "
         "To edit them, make the file and its Lyrics folder writable and start the player again.";
}

LyricDatabase::LyricDatabase(std::string fileName)
    : VIZDatabase1(nullptr, "VIZDatabase1"), fileName_(std::move(fileName)) {
  VIZDatabase1.SetDatabaseFileName(fileName_);
  VIZDatabase1.SetDatabaseName(lyric_file::kAlias);
  VIZDatabase1.SetPassword(lyric_file::kPassword);
  VIZDatabase1.SetExclusive(false);
  VIZDatabase1.SetMultiUser(false);
  VIZDatabase1.SetMaxConnections(500);
  VIZDatabase1.SetSessionName("Default");
  // A wrong password is not asked again: the open fails with the engine's error.
  VIZDatabase1.OnPassword = [](viz::TABSDatabase&, bool& answer) { answer = false; };

  VIZTable1.SetName("VIZTable1");
  VIZTable1.SetDatabaseName(lyric_file::kAlias);
  VIZTable1.SetTableName(lyric_file::kTable);
  VIZTable1.SetIndexName(lyric_file::kIndex);
  VIZTable1.SetInMemory(false);
  VIZTable1.SetReadOnly(false);
  VIZTable1.SetExclusive(false);

  DataSource1.SetName("DataSource1");
  DataSource1.SetDataSet(&VIZTable1);
}

LyricDatabase::~LyricDatabase() {
  try {
    Close();
  } catch (...) {
    // The program ends; a record that cannot be posted now is lost either way.
  }
  DataSource1.SetDataSet(nullptr);
}

void LyricDatabase::Close() {
  if (!open_) return;
  open_ = false;
  struct CloseTable {
    viz::TABSTable& table;
    ~CloseTable() {
      try {
        table.Cancel();
        table.Close();
      } catch (...) {
      }
    }
  } closing{VIZTable1};
  // An edit left open is kept, as the next re-sync would have kept it.
  VIZTable1.CheckBrowseMode();
}

std::string LyricDatabase::FileName() const {
  std::error_code error;
  const std::filesystem::path whole = std::filesystem::absolute(fileName_, error);
  return error ? fileName_ : whole.lexically_normal().string();
}

void LyricDatabase::Open() {
  try {
    VIZDatabase1.SetConnected(true);
    VIZTable1.SetActive(true);
  } catch (...) {
    VIZTable1.SetActive(false);
    VIZDatabase1.SetConnected(false);
    throw;
  }
  readOnly_ = VIZDatabase1.ReadOnly();
  open_ = true;
  // The grid's columns: room for a usual file name, and the lyric beside it.
  VIZTable1.FieldByName(lyric_file::kFileNameField).SetDisplayWidth(24);
}

void LyricDatabase::Resync(const std::string& trackName) {
  if (!open_) return;
  DataSource1.SetEnabled(true);
  VIZTable1.First();
  const std::string name = Trim(trackName);
  if (VIZTable1.SeekKeyValues({Variant::FromWideString(viz::platform::Utf8ToUtf16(name))})) return;
  if (VIZTable1.SeekKeyValues({Variant::FromWideString(viz::platform::Utf8ToUtf16(lyric_file::kBlankName))})) return;
  if (readOnly_) {
    DataSource1.SetEnabled(false);
    return;
  }
  InsertBlankRecord();
}

void LyricDatabase::BeginEdit() {
  if (!open_) return;
  VIZTable1.Edit();
}

void LyricDatabase::InsertBlankRecord() {
  if (!open_) return;
  DataSource1.SetEnabled(true);
  sonvale::InsertBlankRecord(VIZTable1);
}

std::string LyricDatabase::CurrentFileName() const {
  if (!open_ || VIZTable1.IsEmpty()) return {};
  return FileNameText(VIZTable1.FieldByName(lyric_file::kFileNameField));
}

std::string LyricDatabase::CurrentLyric() const {
  if (!open_ || VIZTable1.IsEmpty()) return {};
  return LyricText(VIZTable1.FieldByName(lyric_file::kLyricField));
}

}  // namespace sonvale
