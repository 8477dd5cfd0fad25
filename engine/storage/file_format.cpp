#include "engine/storage/file_format.h"

#include "engine/types/errors.h"

namespace viz {

namespace file_format {

double GetDouble(const void* at) {
  uint64_t bits = static_cast<uint64_t>(GetU32(at)) |
                  (static_cast<uint64_t>(GetU32(static_cast<const unsigned char*>(at) + 4)) << 32);
  double value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

void PutDouble(void* at, double value) {
  uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  PutU32(at, static_cast<uint32_t>(bits));
  PutU32(static_cast<unsigned char*>(at) + 4, static_cast<uint32_t>(bits >> 32));
}

}  // namespace file_format

using namespace file_format;

std::string PageTypeName(uint16_t pageType) {
  static const char* const kNames[] = {"Unknown Page",
                                       "Empty Page",
                                       "EAM Page",
                                       "PFS Page",
                                       "FileSystemDirectory Page",
                                       "ActiveSessionList Page",
                                       "TableList Page",
                                       "TableLocks Page",
                                       "TableMetaData Page",
                                       "TableMostUpdated Page",
                                       "TableRecord Page",
                                       "TableBlob Page",
                                       "TableIndex Page"};
  if (pageType > kLastPageType) throw EABSException(msg::kUnknownPageType, static_cast<int>(pageType));
  return kNames[pageType];
}

std::string TABSDatabaseHeader::SignatureText() const {
  size_t length = 0;
  while (length < sizeof signature && signature[length] != 0) ++length;
  return std::string(signature, length);
}

void TABSDatabaseHeader::Encode(unsigned char* out) const {
  std::memset(out, 0, kDatabaseHeaderSize);
  std::memcpy(out, signature, 16);
  PutU16(out + 16, headerSize);
  PutDouble(out + 18, version);
  PutU16(out + 26, pageSize);
  PutU16(out + 28, extentPageCount);
  PutI32(out + 30, totalPageCount);
  PutI32(out + 34, lastUsedPageNo);
  PutI32(out + 38, changeCounter);
  out[42] = state;
  out[43] = encrypted;
}

void TABSDatabaseHeader::Decode(const unsigned char* in) {
  std::memcpy(signature, in, 16);
  headerSize = GetU16(in + 16);
  version = GetDouble(in + 18);
  pageSize = GetU16(in + 26);
  extentPageCount = GetU16(in + 28);
  totalPageCount = GetI32(in + 30);
  lastUsedPageNo = GetI32(in + 34);
  changeCounter = GetI32(in + 38);
  state = in[42];
  encrypted = in[43];
}

void TABSCheckBlock::Encode(unsigned char* out) const {
  std::memset(out, 0, kCheckBlockSize);
  PutU16(out, blockSize);
  out[2] = cipherType;
  std::memcpy(out + 4, checkBytes, kCheckBytesCount);
  PutU32(out + 260, crc);
}

void TABSCheckBlock::Decode(const unsigned char* in) {
  blockSize = GetU16(in);
  cipherType = in[2];
  std::memcpy(checkBytes, in + 4, kCheckBytesCount);
  crc = GetU32(in + 260);
}

void InitPageHeader(unsigned char* page, uint16_t pageType, int32_t updateCounter) {
  std::memset(page, 0, kPageHeaderSize);
  std::memcpy(page, kPageSignature, 4);
  PutI32(page + kPageUpdateCounterOffset, updateCounter);
  PutU16(page + kPageTypeOffset, pageType);
  PutI32(page + kPageNextOffset, -1);
  PutI32(page + kPageOwnerTableOffset, -1);
  PutI32(page + kPageReserved26Offset, -1);
}

}  // namespace viz
