// The table list: a transacted internal file (page type 6, uncompressed) listing every table of the
// database with its id and the StartPageNo of its three per-table files. The whole list is held in
// memory; it reaches the file only when it is saved (under session -2). Entries are 272 bytes:
//
//   offset | width | field
//   0      | 256   | table name: length byte, then up to 255 characters (the rest zero)
//   256    | i32   | table id
//   260    | i32   | StartPageNo of the table's metadata file (page type 8)
//   264    | i32   | StartPageNo of the table's header-data file (page type 9)
//   268    | i32   | StartPageNo of the table's locks file (page type 7)
//
// Names are compared case-insensitively (ASCII upper case) and cut to 255 characters.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/storage/disk/transacted_file.h"

namespace viz {

struct TABSTableListEntry {
  std::string name;
  int32_t tableId = 0;
  int32_t metadataStartPageNo = -1;
  int32_t headerDataStartPageNo = -1;
  int32_t locksStartPageNo = -1;

  bool operator==(const TABSTableListEntry&) const = default;
};

class TABSTableListFile {
 public:
  static constexpr size_t kEntrySize = 272;
  static constexpr size_t kMaxNameLength = 255;

  explicit TABSTableListFile(TABSPageManager& manager);

  //! Creates an empty list file under session -2 (30383 when one is open).
  void Create();
  //! Opens the list file at `startPageNo`. Raises "Table list file already opened." (30393) when
  //! it is open.
  void Open(int32_t startPageNo);
  void Close();
  //! Reads the whole list under session -2.
  void Load();
  //! Writes the whole list under session -2.
  void Save();

  //! Adds a table. Raises "Cannot create table. Table '%s' already exists" (30395) for a name
  //! present in any letter case.
  void Add(int32_t tableId, std::string_view name, int32_t locksStartPageNo, int32_t headerDataStartPageNo,
           int32_t metadataStartPageNo);
  //! Returns the table's entry. Raises "Table '%s' not exists." (30396) when absent.
  TABSTableListEntry Find(std::string_view name) const;
  bool Exists(std::string_view name) const;
  //! Removes the table, closing the gap (30405 when absent).
  void Delete(std::string_view name);
  //! Gives the table a new name, cut to 255 characters (30397 when absent).
  void Rename(std::string_view oldName, std::string_view newName);
  std::vector<std::string> Names() const;

  const std::vector<TABSTableListEntry>& Entries() const { return entries_; }
  bool IsOpened() const { return file_.IsOpened(); }
  int32_t StartPageNo() const { return file_.StartPageNo(); }
  TABSInternalDBTransactedAccessFile& File() { return file_; }

  //! The stored form of one entry (272 bytes) and back.
  static void EncodeEntry(const TABSTableListEntry& entry, uint8_t* out);
  static TABSTableListEntry DecodeEntry(const uint8_t* in);

 private:
  // Index of the entry with that name, or -1.
  int64_t IndexOf(std::string_view name) const;

  TABSInternalDBTransactedAccessFile file_;
  std::vector<TABSTableListEntry> entries_;
};

}  // namespace viz
