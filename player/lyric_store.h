// The seam between the window and the lyric database. The window calls these at the moments the
// loop and the lyric editor need them; the database-backed store plugs in here.
#pragma once

#include <string>

namespace sonvale {

class LyricStore {
 public:
  virtual ~LyricStore() = default;
  //! Returns true when a lyric database is attached.
  virtual bool Available() const = 0;
  //! Makes the current lyric record match `trackName` (trimmed): its own record, else the
  //! "BlankMemo" record, inserted when missing.
  virtual void Resync(const std::string& trackName) = 0;
  //! Puts the current record into edit mode as the lyric editor opens.
  virtual void BeginEdit() = 0;
  //! Inserts and posts the "BlankMemo" record.
  virtual void InsertBlankRecord() = 0;
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
