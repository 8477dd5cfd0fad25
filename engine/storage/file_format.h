// The bytes of a database file. All integers are little-endian; offsets are relative to the base
// offset B at which the signature was found (0 for every file the engine creates).
//
//   offset | size          | content
//   0      | 76            | database header (TABSDatabaseHeader)
//   76     | 280           | password-check block (TABSCheckBlock)
//   356    | 20            | lock area: u16 size = 20, rest zero; byte 359 = table-catalogue lock,
//          |               | byte 360 = header lock
//   376    | 4             | NextObjectID (i32); its first byte is the object-id lock
//   380    | P x pages     | page n at 380 + n x P
//
// Database header (76 bytes):
//   0 signature "VIZ0LUTEDATABASE" (16) | 16 u16 HeaderSize = 76 | 18 double Version
//   26 u16 PageSize | 28 u16 ExtentPageCount | 30 i32 TotalPageCount | 34 i32 LastUsedPageNo
//   38 i32 ChangeCounter | 42 u8 State (2 consistent, 1 commit in progress) | 43 u8 Encrypted
//   44 reserved (32)
//
// Password-check block (280 bytes):
//   0 u16 BlockSize = 280 | 2 u8 CipherType | 3 reserved | 4 check bytes, enciphered (256)
//   260 u32 CRC of the plain check bytes | 264 reserved (16)
//
// Page header (first 40 bytes of every page; the rest is the data area):
//   0 "ABSP" | 4 i32 UpdateCounter (2147483647 = freed or unreadable) | 8 u16 PageType
//   10 i32 NextPageNo (-1 none) | 14 u32 CRC of the plain data area (enciphered databases)
//   18, 19 reserved | 20 u8 CipherType of the data area | 21 reserved | 22 i32 owner table id (-1)
//   26 i32 reserved (-1) | 30 i16 reserved | 32 reserved (8)
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

namespace viz {

namespace file_format {

inline constexpr char kDatabaseSignature[] = "VIZ0LUTEDATABASE";
inline constexpr size_t kSignatureLength = 16;
inline constexpr uint16_t kDatabaseHeaderSize = 76;
inline constexpr uint16_t kCheckBlockSize = 280;
inline constexpr uint16_t kLockAreaSize = 20;
inline constexpr size_t kCheckBytesCount = 256;
inline constexpr int64_t kPrefixSize = 380;
inline constexpr double kVersion = 4.89;
//! Files of an older version than this need a repair.
inline constexpr double kMinimumVersion = 2.99;
inline constexpr uint8_t kStateConsistent = 2;
inline constexpr uint8_t kStateCommitting = 1;
inline constexpr uint16_t kDefaultPageSize = 4096;
inline constexpr uint16_t kDefaultExtentPageCount = 8;

//! Lock bytes, as offsets from the lock area and from B.
inline constexpr int64_t kTableCatalogLockInArea = 3;
inline constexpr int64_t kHeaderLockInArea = 4;

inline constexpr uint16_t kPageHeaderSize = 40;
inline constexpr char kPageSignature[] = "ABSP";
inline constexpr int kPageUpdateCounterOffset = 4;
inline constexpr int kPageTypeOffset = 8;
inline constexpr int kPageNextOffset = 10;
inline constexpr int kPageCrcOffset = 14;
inline constexpr int kPageCipherTypeOffset = 20;
inline constexpr int kPageOwnerTableOffset = 22;
inline constexpr int kPageReserved26Offset = 26;
inline constexpr int32_t kFreedPageCounter = 2147483647;
//! The smallest page that holds its header, an internal file's 10-byte header and a record of one
//! byte; anything smaller leaves no room for data.
inline constexpr uint16_t kMinimumPageSize = kPageHeaderSize + 10 + 1;
//! New pages get a random update counter below this.
inline constexpr uint32_t kUpdateCounterRange = 0x3FFFFFFF;

inline uint16_t GetU16(const void* at) {
  const auto* b = static_cast<const unsigned char*>(at);
  return static_cast<uint16_t>(b[0] | (b[1] << 8));
}
inline uint32_t GetU32(const void* at) {
  const auto* b = static_cast<const unsigned char*>(at);
  return static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) |
         (static_cast<uint32_t>(b[2]) << 16) | (static_cast<uint32_t>(b[3]) << 24);
}
inline int32_t GetI32(const void* at) {
  return static_cast<int32_t>(GetU32(at));
}
inline void PutU16(void* at, uint16_t value) {
  auto* b = static_cast<unsigned char*>(at);
  b[0] = static_cast<unsigned char>(value);
  b[1] = static_cast<unsigned char>(value >> 8);
}
inline void PutU32(void* at, uint32_t value) {
  auto* b = static_cast<unsigned char*>(at);
  for (int i = 0; i < 4; ++i) b[i] = static_cast<unsigned char>(value >> (8 * i));
}
inline void PutI32(void* at, int32_t value) {
  PutU32(at, static_cast<uint32_t>(value));
}
double GetDouble(const void* at);
void PutDouble(void* at, double value);

}  // namespace file_format

//! Page types (u16 at page offset 8).
enum TABSPageType : uint16_t {
  ptUnknown = 0,
  ptEmpty = 1,
  ptEAM = 2,
  ptPFS = 3,
  ptFileSystemDirectory = 4,
  ptActiveSessionList = 5,
  ptTableList = 6,
  ptTableLocks = 7,
  ptTableMetaData = 8,
  ptTableMostUpdated = 9,
  ptTableRecord = 10,
  ptTableBlob = 11,
  ptTableIndex = 12,
};
inline constexpr uint16_t kLastPageType = ptTableIndex;

//! Returns the name of a page type ("TableRecord Page"). Raises "Unknown Page Type: (%d)" (30382)
//! for a value above 12.
std::string PageTypeName(uint16_t pageType);

//! The 76-byte database header in memory.
struct TABSDatabaseHeader {
  char signature[16];
  uint16_t headerSize = file_format::kDatabaseHeaderSize;
  double version = file_format::kVersion;
  uint16_t pageSize = file_format::kDefaultPageSize;
  uint16_t extentPageCount = file_format::kDefaultExtentPageCount;
  int32_t totalPageCount = 0;
  int32_t lastUsedPageNo = -1;
  int32_t changeCounter = 0;
  uint8_t state = file_format::kStateConsistent;
  uint8_t encrypted = 0;

  TABSDatabaseHeader() { std::memcpy(signature, file_format::kDatabaseSignature, 16); }
  //! Returns the signature as text, up to its first zero byte.
  std::string SignatureText() const;
  void Encode(unsigned char* out) const;  //!< writes 76 bytes
  void Decode(const unsigned char* in);   //!< reads 76 bytes
};

//! The 280-byte password-check block in memory.
struct TABSCheckBlock {
  uint16_t blockSize = file_format::kCheckBlockSize;
  uint8_t cipherType = 0;
  unsigned char checkBytes[file_format::kCheckBytesCount] = {};
  uint32_t crc = 0;

  void Encode(unsigned char* out) const;  //!< writes 280 bytes
  void Decode(const unsigned char* in);   //!< reads 280 bytes
};

//! Writes the header of a new page into `page`: "ABSP", the update counter, the type, no next page,
//! CRC 0, cipher type 0, owner table -1, reserved fields as a new page has them.
void InitPageHeader(unsigned char* page, uint16_t pageType, int32_t updateCounter);

}  // namespace viz
