#include "engine/tables/btree/key_path.h"

#include "engine/types/errors.h"

namespace viz {

int CompareKeyPaths(const TABSKeyPath& a, const TABSKeyPath& b) {
  if (a.LevelCount != b.LevelCount) throw EABSException(msg::kInvalidKeyPath);
  for (int32_t level = 0; level < a.LevelCount; ++level) {
    // Until the first difference both paths run through the same pages; at that level too, since
    // both pages are the child of one entry.
    if (a.Levels[level].PageNo != b.Levels[level].PageNo) throw EABSException(msg::kInvalidKeyPath.At(20052));
    if (a.Levels[level].Entry != b.Levels[level].Entry)
      return a.Levels[level].Entry < b.Levels[level].Entry ? -1 : 1;
  }
  return 0;
}

namespace {
double Position(const TABSKeyPath& path, int32_t leafOffset) {
  double numerator = 0, denominator = 1;
  for (int32_t level = 0; level < path.LevelCount; ++level) {
    const TABSKeyPathLevel& at = path.Levels[level];
    const int32_t count = at.Count > 0 ? at.Count : 1;
    const int32_t entry = at.Entry + (level == path.LevelCount - 1 ? leafOffset : 0);
    numerator = numerator * count + entry;
    denominator *= count;
  }
  return path.LevelCount == 0 ? 0 : numerator / denominator;
}
}  // namespace

double RelativePosition(const TABSKeyPath& path) {
  return Position(path, 0);
}

double RelativeEndPosition(const TABSKeyPath& path) {
  return Position(path, 1);
}

}  // namespace viz
