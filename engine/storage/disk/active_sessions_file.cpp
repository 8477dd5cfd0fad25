#include "engine/storage/disk/active_sessions_file.h"

#include "engine/storage/disk_page_manager.h"
#include "engine/types/errors.h"

namespace viz {

namespace {
constexpr int32_t kDisconnectGuardCode = 20096;
constexpr int32_t kHoldGuardCode = 20240;
constexpr int32_t kReleaseGuardCode = 20241;
}  // namespace

// The guard byte for one slot operation: tried with the manager's lock retries. When it cannot be
// had the operation goes on without it, and only a guard that was taken is released.
class TABSActiveSessionsFile::Guard {
 public:
  explicit Guard(TABSActiveSessionsFile& file) : file_(file) {
    taken_ = file_.Manager().RetryLock([this] { return file_.LockFile(); });
  }
  ~Guard() {
    if (taken_) file_.UnlockFile();
  }
  Guard(const Guard&) = delete;
  Guard& operator=(const Guard&) = delete;

  //! Releases the guard if it was taken; false when that failed.
  bool Release() {
    if (!taken_) return true;
    taken_ = false;
    return file_.UnlockFile();
  }

 private:
  TABSActiveSessionsFile& file_;
  bool taken_ = false;
};

TABSActiveSessionsFile::TABSActiveSessionsFile(TABSDiskPageManager& manager)
    : TABSInternalDBDirectAccessFile(manager, ptActiveSessionList) {}

int32_t TABSActiveSessionsFile::Create(int32_t maxConnections) {
  TABSInternalDBDirectAccessFile::Create(maxConnections);
  return StartPageNo();
}

int32_t TABSActiveSessionsFile::Connect() {
  RequireOpened("Connect");
  if (!Manager().IsMultiUser()) return 0;
  Guard guard(*this);
  int32_t number = -1;
  for (int32_t slot = 0; slot < SlotCount() && number < 0; ++slot) {
    if (LockByte(slot)) number = slot;
  }
  if (number < 0) throw EABSException(msg::kCannotConnectSession);
  if (!guard.Release()) {
    UnlockByte(number);
    throw EABSException(msg::kCannotUnlockSessionsFile);
  }
  return number;
}

void TABSActiveSessionsFile::Disconnect(int32_t sessionNumber) {
  RequireOpened("Disconnect");
  if (!Manager().IsMultiUser()) return;
  Guard guard(*this);
  if (sessionNumber < 0 || sessionNumber >= SlotCount() || !UnlockByte(sessionNumber))
    throw EABSException(msg::kCannotDisconnectSession);
  if (!guard.Release()) throw EABSException(msg::kCannotUnlockSessionsFile.At(kDisconnectGuardCode));
}

bool TABSActiveSessionsFile::TakeSingleUserHold() {
  RequireOpened("TakeSingleUserHold");
  if (singleUserHold_) return true;
  Guard guard(*this);
  const bool taken = !IsRegionLocked(0, SlotCount()) && LockRegion(0, SlotCount());
  if (!guard.Release()) {
    if (taken) UnlockRegion(0, SlotCount());
    throw EABSException(msg::kCannotUnlockSessionsFile.At(kHoldGuardCode));
  }
  singleUserHold_ = taken;
  return taken;
}

void TABSActiveSessionsFile::ReleaseSingleUserHold() {
  RequireOpened("ReleaseSingleUserHold");
  if (!singleUserHold_) return;
  Guard guard(*this);
  UnlockRegion(0, SlotCount());
  singleUserHold_ = false;
  if (!guard.Release()) throw EABSException(msg::kCannotUnlockSessionsFile.At(kReleaseGuardCode));
}

}  // namespace viz
