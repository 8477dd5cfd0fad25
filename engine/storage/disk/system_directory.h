// The system directory: a transacted internal file that always starts at page 2 and maps a small kind
// code to the StartPageNo of the other catalogue files. Its content is an array of 5-byte entries:
//
//   offset | width | field
//   0      | u8    | kind: 1 = table list file, 2 = sessions file
//   1      | i32   | StartPageNo of that file
//
// Read and written under session -2, uncompressed, page type 4.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/storage/disk/transacted_file.h"

namespace viz {

class TABSSystemDirectory {
 public:
  //! The page every database's system directory starts at.
  static constexpr int32_t kStartPageNo = 2;
  static constexpr size_t kEntrySize = 5;
  //! Kinds of directory entries.
  static constexpr uint8_t kTableListFile = 1;
  static constexpr uint8_t kSessionsFile = 2;

  struct Entry {
    uint8_t kind = 0;
    int32_t startPageNo = -1;
  };

  explicit TABSSystemDirectory(TABSPageManager& manager);

  //! Creates the directory of a new database under session -2. Raises "Error Creating
  //! SystemDirectory. SystemDirectoryPageNo=%d. Real PageNo=%d." (30392) when its first page is not
  //! page 2.
  void Create();
  //! Reads the whole directory under session -2 (opening it at page 2 first).
  void Load();
  //! Writes the whole directory under session -2, uncompressed.
  void Save();
  void AddEntry(uint8_t kind, int32_t startPageNo);
  //! Returns the StartPageNo of the first entry of that kind, or -1.
  int32_t Find(uint8_t kind) const;

  const std::vector<Entry>& Entries() const { return entries_; }
  TABSInternalDBTransactedAccessFile& File() { return file_; }

 private:
  TABSInternalDBTransactedAccessFile file_;
  std::vector<Entry> entries_;
};

}  // namespace viz
