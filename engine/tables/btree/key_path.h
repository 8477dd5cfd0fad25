// A key path names one entry of a B-tree, and through it one record: for every level from the root
// (level 0) down to a leaf, the page, the entry taken on it and that page's entry count.
#pragma once

#include <cstdint>

namespace viz {

struct TABSKeyPathLevel {
  int32_t PageNo = -1;
  int32_t Entry = 0;
  int32_t Count = 0;
};

struct TABSKeyPath {
  static constexpr int32_t kMaxLevels = 32;

  TABSKeyPathLevel Levels[kMaxLevels];
  int32_t LevelCount = 0;
  //! The index state the path was taken in: root page, the record manager's state counter and
  //! the session. A path from another state names nothing reliable.
  int32_t State[3] = {-1, -1, -1};

  bool IsEmpty() const { return LevelCount == 0; }
  void Clear() { LevelCount = 0; }
  //! The leaf level. REQUIRES: not empty.
  TABSKeyPathLevel& Leaf() { return Levels[LevelCount - 1]; }
  const TABSKeyPathLevel& Leaf() const { return Levels[LevelCount - 1]; }
  //! Appends a level. Returns false when the path already has 32 levels.
  bool Push(int32_t pageNo, int32_t entry, int32_t count) {
    if (LevelCount >= kMaxLevels) return false;
    Levels[LevelCount++] = {pageNo, entry, count};
    return true;
  }
};

//! Returns -1, 0 or 1 as path `a` names an entry before, at or after path `b`'s. Compares from the
//! root down; the first level whose entries differ decides. Raises "Invalid index key path" (20051)
//! for paths of different depth and (20052) when the pages differ above or at that level, which
//! means the paths do not come from one tree.
int CompareKeyPaths(const TABSKeyPath& a, const TABSKeyPath& b);

//! The approximate position of a path's entry in index order, a fraction in [0, 1):
//! (sum of e_l * prod_{j>l} c_j) / prod c_l.
double RelativePosition(const TABSKeyPath& path);
//! As RelativePosition, for the end of the path's entry (the position of the next entry).
double RelativeEndPosition(const TABSKeyPath& path);

}  // namespace viz
