// BLOB pages of a disk table (page type 11). D is the page data size.
//
// Stored value header (22 bytes), in front of every small value and at the start of a large one:
//
//   offset | width | field
//   0      | u16   | id of a small value (0 in a large one)
//   2      | i32   | block count of its compressed stream
//   6      | i64   | stored size (bytes that follow)
//   14     | i64   | uncompressed size
//
// Small values (stored size + 24 < D) share pages; the data area of such a page:
//
//   0      | u16   | count of values
//   2      |       | the values packed one after another: header, then stored-size bytes
//
// A large value gets a chain of pages of its own (disk_blob_manager.h).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/storage/VIZPage.h"

namespace viz {

//! The 22-byte header of a stored value.
struct TABSStoredBlobHeader {
  static constexpr int32_t kSize = 22;
  uint16_t Id = 0;
  int32_t BlockCount = 0;
  int64_t StoredSize = 0;
  int64_t UncompressedSize = 0;

  void Encode(uint8_t* out) const;
  void Decode(const uint8_t* in);
};

class TABSSmallBlobPage : public TABSPageController {
 public:
  static constexpr uint16_t kPageType = 11;
  static constexpr int32_t kCountSize = 2;
  //! The id of a large value in a BLOB address.
  static constexpr uint16_t kLargeValueSlot = 65535;

  //! One value of the page: its header and where it lies in the data area.
  struct Entry {
    TABSStoredBlobHeader Header;
    //! Offset of its header in the data area.
    int32_t Offset = 0;
    int32_t Bytes() const { return TABSStoredBlobHeader::kSize + static_cast<int32_t>(Header.StoredSize); }
  };

  explicit TABSSmallBlobPage(TABSPage* page) : TABSPageController(page) {}

  //! Makes the page an empty small-value page.
  void Initialise();
  int32_t Count() const;
  //! The page's values in order. When the page cannot hold what its count and headers say, returns
  //! false and names what is wrong in `damage`.
  bool Entries(std::vector<Entry>& entries, std::string* damage = nullptr) const;
  //! The value with that id, found by walking the headers up to it (no copy of the others): sets
  //! `found` when the page has it. Returns false, naming what is wrong in `damage`, when the page
  //! cannot hold what its count and the headers before that value say.
  bool FindEntry(uint16_t id, Entry& entry, bool& found, std::string* damage = nullptr) const;
  // The operations below take the page's values as `Entries` gave them.
  //! Bytes in use: the count and every value with its header.
  static int32_t UsedLength(const std::vector<Entry>& entries);
  //! The value with that id; null when the page has none.
  static const Entry* Find(const std::vector<Entry>& entries, uint16_t id);
  //! The id a new value gets: from the count upwards (65534 is followed by 0) the first that no
  //! value has. Raises "Invalid blob field ID" (20172) when that is 65535.
  uint16_t NewId(const std::vector<Entry>& entries) const;
  //! Appends a value whose header says `header.StoredSize` bytes; returns where its bytes go.
  //! REQUIRES: it fits.
  uint8_t* Append(const std::vector<Entry>& entries, const TABSStoredBlobHeader& header);
  //! Append for a page whose values take `used` bytes (the count included).
  uint8_t* AppendAt(int32_t used, const TABSStoredBlobHeader& header);
  //! In one walk of the headers: the bytes in use (the count included) and whether a value has the
  //! id `NewId` tries first (the count); `idsBelowCount`, when given, learns whether every id is
  //! below the count. False, naming the damage, as `Entries`.
  bool Measure(int32_t& used, bool& countIdTaken, std::string* damage = nullptr,
               bool* idsBelowCount = nullptr) const;
  //! Removes a value and closes the gap. Returns the bytes it took (header included).
  int32_t Remove(const std::vector<Entry>& entries, const Entry& entry);
  //! In one walk of every header, without a copy of them: the first value with the id (`found`
  //! tells whether there is one) and the bytes in use (the count included). False, naming the
  //! damage, as `Entries`.
  bool Locate(uint16_t id, Entry& entry, bool& found, int32_t& used, std::string* damage = nullptr) const;
  //! Remove for a page whose values take `used` bytes (the count included).
  int32_t RemoveAt(int32_t used, const Entry& entry);
  //! The stored bytes of a value.
  const uint8_t* Bytes(const Entry& entry) const {
    return Data() + entry.Offset + TABSStoredBlobHeader::kSize;
  }

 private:
  // Calls `visit` with each value in order until it returns false; false when the page is damaged
  // before the walk ends. The entries it passes hold the offset, id and stored size only.
  template <typename Visit>
  bool Walk(std::string* damage, Visit&& visit) const;

  friend class TABSSmallBlobDirectory;
};

//! Where the values of one small-value page lie, learnt by one walk of all its headers and kept while
//! the page's content serial stays the same: reading the values of a page one after another then
//! costs one walk instead of one walk up to each value.
class TABSSmallBlobDirectory {
 public:
  //! As `TABSSmallBlobPage::FindEntry`, with the same results.
  bool FindEntry(const TABSSmallBlobPage& page, uint16_t id, TABSSmallBlobPage::Entry& entry, bool& found,
                 std::string* damage = nullptr);
  //! Forgets the page it knows.
  void Clear();

 private:
  const TABSPage* page_ = nullptr;
  uint64_t serial_ = 0;
  // The values' ids and header offsets in page order; `dense_`: the ids are 0, 1, 2, ... in order.
  std::vector<uint16_t> ids_;
  std::vector<int32_t> offsets_;
  bool dense_ = false;
};

}  // namespace viz
