// Plain containers of the engine: a growable array of 32-bit integers and a sorted list of names
// with a pointer each (names compare case-insensitively, as every name of the engine does).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace viz {

class TABSIntegerArray {
 public:
  int32_t Count() const { return static_cast<int32_t>(items_.size()); }
  void Append(int32_t value) { items_.push_back(value); }
  //! Inserts before `position` (0 .. Count); raises 10413 outside.
  void Insert(int32_t position, int32_t value);
  //! Raises "Invalid item number - ItemNo = %d, ItemCount = %d" (10413) outside the array.
  int32_t At(int32_t position) const;
  void Set(int32_t position, int32_t value);
  //! Position of the first element equal to `value`, -1 when none.
  int32_t Find(int32_t value) const;
  //! Removes the element at `position` (10413 outside).
  void Remove(int32_t position);
  //! Removes the first element equal to `value`; false when none.
  bool RemoveValue(int32_t value);
  void Clear() { items_.clear(); }

 private:
  void Check(int32_t position, int32_t limit) const;

  std::vector<int32_t> items_;
};

class TABSSortedStringPtrArray {
 public:
  int32_t Count() const { return static_cast<int32_t>(items_.size()); }
  //! Adds a name (a name already present is added again, after the ones equal to it).
  void Insert(std::string_view name, void* pointer);
  //! Position of a name, -1 when absent.
  int32_t IndexOf(std::string_view name) const;
  //! The pointer kept with a name, null when absent.
  void* Find(std::string_view name) const;
  //! Removes the first entry of a name; false when absent.
  bool Remove(std::string_view name);
  //! Raises 10413 outside the list.
  const std::string& NameAt(int32_t position) const;
  void* PointerAt(int32_t position) const;
  void Clear() { items_.clear(); }

 private:
  struct Item {
    std::string upper;  // the name upper-cased: the sort key
    std::string name;
    void* pointer;
  };
  // First position whose name is not below `upper`.
  size_t LowerBound(const std::string& upper) const;

  std::vector<Item> items_;
};

}  // namespace viz
