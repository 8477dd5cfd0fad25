#include "engine/storage/disk/table_locks_file.h"

#include "engine/storage/file_format.h"

namespace viz {

using namespace file_format;

TABSTableLocksFile::TABSTableLocksFile(TABSDiskPageManager& manager)
    : TABSInternalDBDirectAccessFile(manager, ptTableLocks) {}

void TABSTableLocksFile::Create(int32_t maxConnections) {
  TABSInternalDBDirectAccessFile::Create(kBytesPerSession * maxConnections);
}

bool TABSTableLocksFile::IsKindHeldByOthers(uint8_t kind, int32_t session, bool ownHeld) {
  const int32_t row = kind * SessionCount();
  if (!ownHeld) return IsRegionLocked(row, SessionCount());
  return IsRegionLocked(row, session) || IsRegionLocked(row + session + 1, SessionCount() - session - 1);
}

void TABSTableLocksFile::CollectHolders(uint8_t kind, int32_t first, int32_t end,
                                        std::vector<int32_t>& sessions) {
  if (first >= end || !IsRegionLocked(KindPosition(kind, first), end - first)) return;
  if (end - first == 1) {
    sessions.push_back(first);
    return;
  }
  const int32_t middle = first + (end - first) / 2;
  CollectHolders(kind, first, middle, sessions);
  CollectHolders(kind, middle, end, sessions);
}

std::vector<int32_t> TABSTableLocksFile::SessionsHolding(uint8_t kind, int32_t exceptSession, bool ownHeld) {
  std::vector<int32_t> sessions;
  if (!ownHeld) {
    CollectHolders(kind, 0, SessionCount(), sessions);
    return sessions;
  }
  CollectHolders(kind, 0, exceptSession, sessions);
  CollectHolders(kind, exceptSession + 1, SessionCount(), sessions);
  return sessions;
}

TABSRecordAddress TABSTableLocksFile::ReadRecordAddress(int32_t session) {
  uint8_t bytes[kRecordAddressSize] = {};
  DirectReadBuffer(bytes, kRecordAddressSize, 6 * SessionCount() + kRecordAddressSize * session);
  TABSRecordAddress address;
  address.PageNo = GetI32(bytes);
  address.RecordNo = GetU16(bytes + 4);
  return address;
}

void TABSTableLocksFile::WriteRecordAddress(int32_t session, const TABSRecordAddress& address) {
  uint8_t bytes[kRecordAddressSize];
  PutI32(bytes, address.PageNo);
  PutU16(bytes + 4, address.RecordNo);
  DirectWriteBuffer(bytes, kRecordAddressSize, 6 * SessionCount() + kRecordAddressSize * session);
}

}  // namespace viz
