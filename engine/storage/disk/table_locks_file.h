// A table's locks file: a direct internal file (page type 7) whose bytes stand for the table locks
// of the sessions. With N = file size div 12 (the database's MaxConnections when the table was
// created):
//
//   position            | size        | content
//   k x N + s           | 1 byte each | locked by session s while it holds kind k (0 to 5) in the file
//   6 x N + 6 x s       | 6 bytes     | the record session s holds with kind 5: i32 PageNo, u16 slot
//
// Kind 6 (exclusive) has no byte: it is held by keeping the file's guard byte locked, which also
// serialises every test-and-set on the file between processes.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/storage/disk/direct_file.h"
#include "engine/tables/record_layout.h"

namespace viz {

class TABSTableLocksFile : public TABSInternalDBDirectAccessFile {
 public:
  static constexpr int32_t kBytesPerSession = 12;
  static constexpr int32_t kRecordAddressSize = 6;

  explicit TABSTableLocksFile(TABSDiskPageManager& manager);

  //! Creates, under session -2, the locks file of a new table for `maxConnections` sessions
  //! (12 x maxConnections bytes).
  void Create(int32_t maxConnections);

  //! The N of the layout: sessions the file has bytes for.
  int32_t SessionCount() const { return Size() / kBytesPerSession; }
  //! The file position of byte (kind, session).
  int32_t KindPosition(uint8_t kind, int32_t session) const { return kind * SessionCount() + session; }

  bool LockKind(uint8_t kind, int32_t session) { return LockByte(KindPosition(kind, session)); }
  bool UnlockKind(uint8_t kind, int32_t session) { return UnlockByte(KindPosition(kind, session)); }
  bool IsKindLocked(uint8_t kind, int32_t session) { return IsByteLocked(KindPosition(kind, session)); }
  //! Whether a session other than `session` holds `kind` in the file. `ownHeld` tells whether
  //! `session` holds that byte itself; when it does not, the whole row is tested at once.
  bool IsKindHeldByOthers(uint8_t kind, int32_t session, bool ownHeld = true);
  //! The sessions other than `session` that hold `kind` in the file, ascending (`ownHeld` as above).
  std::vector<int32_t> SessionsHolding(uint8_t kind, int32_t exceptSession, bool ownHeld = true);

  TABSRecordAddress ReadRecordAddress(int32_t session);
  void WriteRecordAddress(int32_t session, const TABSRecordAddress& address);

 private:
  // Appends the sessions whose byte in [first, end) of `kind`'s row is locked, splitting the range
  // only where a lock is found.
  void CollectHolders(uint8_t kind, int32_t first, int32_t end, std::vector<int32_t>& sessions);
};

}  // namespace viz
