// The seam between the window and the lyric database. The window calls these at the moments the
// loop and the lyric editor need them; the database-backed store (lyric_database.h) plugs in here.
#pragma once

#include <string>

namespace viz {
class TDataSource;
}

namespace sonvale {

class LyricStore {
 public:
  virtual ~LyricStore() = default;
  //! Opens the lyrics; the window calls it while it loads, before its folder scan. Raises when the
  //! lyrics cannot be had; the store is then not available.
  virtual void Open() {}
  //! Returns true when a lyric database is attached.
  virtual bool Available() const = 0;
  //! Returns true when lyrics show but cannot be changed (a read-only file).
  virtual bool ReadOnly() const { return !Available(); }
  //! The file the lyrics come from, as messages name it.
  virtual std::string FileName() const { return {}; }
  //! The data source that joins the lyric table to the data-aware controls; null when none.
  virtual viz::TDataSource* DataSource() { return nullptr; }
  //! Makes the current lyric record match `trackName` (trimmed): its own record, else the
  //! "BlankMemo" record, inserted when missing.
  virtual void Resync(const std::string& trackName) = 0;
  //! Puts the current record into edit mode as the lyric editor opens.
  virtual void BeginEdit() = 0;
  //! Inserts and posts the "BlankMemo" record.
  virtual void InsertBlankRecord() = 0;
  //! As the window closes: keeps an edit still open (posts it when its record changed).
  virtual void Close() {}
};

//! The store used while no lyric database is attached: the lyric area stays as it is.
class NoLyricStore : public LyricStore {
 public:
  bool Available() const override { return false; }
  void Resync(const std::string&) override {}
  void BeginEdit() override {}
  void InsertBlankRecord() override {}
};

}  // namespace sonvale
