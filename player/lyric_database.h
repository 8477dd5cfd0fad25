// The lyric store of the lyrics file: the connection VIZDatabase1, the table dataset VIZTable1 on
// table "LYRIC" with index "byFileName", and the data source DataSource1 that the lyric memo, the
// file name editor, the grid and the navigator show.
//
//   closed --Open--> open (read-write, or read-only for a file that cannot be written)
//   closed --Open fails--> closed for good; the reason is the exception Open raised
//
// The player never makes the lyrics file: it is prepared with the sonvale_lyrics tool and shipped.
// No password is ever asked for: a file with another password is refused, so that an unattended
// player never waits on a dialog.
#pragma once

#include <memory>
#include <string>

#include "engine/components/VIZMain.h"
#include "framework/data/data_source.h"
#include "player/lyric_store.h"

namespace sonvale {

//! Reported once when the lyrics cannot be opened; names the file and the reason.
std::string LyricsUnavailableMessage(const std::string& fileName, const std::string& reason);
//! Shown when the editor is opened on a lyrics file that cannot be written.
std::string LyricsReadOnlyMessage(const std::string& fileName);

class LyricDatabase : public LyricStore {
 public:
  //! `fileName` is the lyrics file, relative to the current folder unless absolute.
  explicit LyricDatabase(std::string fileName);
  ~LyricDatabase() override;

  //! Connects VIZDatabase1 and opens VIZTable1. Raises the engine's error when the file is missing,
  //! cannot be opened, has another password or lacks table "LYRIC"; the store stays closed then.
  void Open() override;
  bool Available() const override { return open_; }
  bool ReadOnly() const override { return !open_ || readOnly_; }
  //! The lyrics file with its whole path.
  std::string FileName() const override;
  viz::TDataSource* DataSource() override { return &DataSource1; }

  //! Goes to the first record (posting an edit whose record changed, cancelling any other), then to
  //! the track's own record, else to "BlankMemo"; inserts "BlankMemo" when neither exists. On a
  //! read-only file nothing is inserted: the data source is disabled, so no other lyric shows.
  void Resync(const std::string& trackName) override;
  //! Puts the current record into edit mode. REQUIRES: Available() and !ReadOnly().
  void BeginEdit() override;
  void InsertBlankRecord() override;
  //! Posts an edit still open when its record changed (cancels it otherwise) and closes the table.
  //! Raises when the post fails; the table is closed all the same.
  void Close() override;

  //! The current record's file name and lyric, as UTF-8 (empty while closed).
  std::string CurrentFileName() const;
  std::string CurrentLyric() const;

  viz::TABSDatabase VIZDatabase1;
  viz::TABSTable VIZTable1;
  viz::TDataSource DataSource1;

 private:
  std::string fileName_;
  bool open_ = false;
  bool readOnly_ = false;
};

}  // namespace sonvale
