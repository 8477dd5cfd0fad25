// The sessions file: a direct internal file (page type 5) with one byte per possible connection.
// Byte i is the slot of session number i: a connection holds the byte lock of its slot from connect
// to disconnect, so a slot is held by exactly one connection anywhere and becomes free as soon as
// its process ends, however it ends. The bytes' content means nothing.
//
// The guard byte (LockFile) serialises slot searches between processes. A process in single-user
// mode holds every slot (the single-user hold), so that multi-user connections of other processes
// fail and other single-user openers find the hold taken.
#pragma once

#include <cstdint>

#include "engine/storage/disk/direct_file.h"

namespace viz {

class TABSActiveSessionsFile : public TABSInternalDBDirectAccessFile {
 public:
  explicit TABSActiveSessionsFile(TABSDiskPageManager& manager);

  //! Creates, under session -2, a file of `maxConnections` slots; returns its StartPageNo.
  int32_t Create(int32_t maxConnections);

  //! The number of slots: the smaller of the stored size and what the chain holds.
  int32_t SlotCount() const { return Size(); }

  //! Takes the first free slot and returns its number (0 without a search in single-user mode).
  //! Raises "Cannot connect session. Maximum connections quantity exceeded or database is open in
  //! single-user mode" (20094) when every slot is held, "Cannot unlock sessions file" (20093) when
  //! the guard it took cannot be released (the slot is given up then).
  int32_t Connect();
  //! Gives the slot up (nothing in single-user mode). Raises "Cannot disconnect session" (20095)
  //! when the slot was not held, 20096 when the guard it took cannot be released.
  void Disconnect(int32_t sessionNumber);

  //! Takes every slot when none is held by anyone; returns whether it did. Raises 20240 when the
  //! guard it took cannot be released (the slots are given up then).
  bool TakeSingleUserHold();
  //! Gives every slot of the hold up (nothing without a hold). Raises 20241 when the guard cannot be
  //! released.
  void ReleaseSingleUserHold();
  bool HoldsSingleUser() const { return singleUserHold_; }

 private:
  class Guard;

  bool singleUserHold_ = false;
};

}  // namespace viz
