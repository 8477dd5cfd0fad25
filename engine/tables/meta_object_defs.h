// The base of every stored definition (field, index, constraint) and of their owning lists.
//
// Stored form of the part every definition begins with (little-endian):
//   u8 name length n | n bytes name | i32 ObjectID
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace viz {

class TStream;

//! A named object of a database: a field, an index or a constraint.
class TABSMetaObjectDef {
 public:
  //! Longest name a definition keeps; the stored form has one length byte.
  static constexpr size_t kMaxNameLength = 255;

  TABSMetaObjectDef() = default;
  TABSMetaObjectDef(const TABSMetaObjectDef&) = default;
  TABSMetaObjectDef& operator=(const TABSMetaObjectDef&) = default;
  virtual ~TABSMetaObjectDef() = default;

  //! Returns a copy of the same class.
  virtual std::unique_ptr<TABSMetaObjectDef> Clone() const = 0;

  // Virtual operations in slot order.
  //! Copies everything from a definition of the same class.
  virtual void Assign(const TABSMetaObjectDef& source);
  //! Reads name and ObjectID (10167 to 10169 on a short read).
  virtual void LoadFromStream(TStream& stream);
  //! Writes name and ObjectID (10164 to 10166 on a short write).
  virtual void SaveToStream(TStream& stream) const;

  const std::string& Name() const { return name_; }
  //! Sets the name, cut to 255 characters.
  void SetName(std::string_view name) { name_ = std::string(name.substr(0, kMaxNameLength)); }

  //! Identity inside the database; -1 until assigned.
  int32_t ObjectID = -1;

 private:
  std::string name_;
};

//! Empties a definition list for a load and puts the previous definitions back unless the load
//! commits, so that a failed load leaves the list as it was.
class TABSMetaObjectDefsRestorer {
 public:
  explicit TABSMetaObjectDefsRestorer(std::vector<std::unique_ptr<TABSMetaObjectDef>>& items)
      : items_(items), saved_(std::move(items)) {
    items_.clear();
  }
  ~TABSMetaObjectDefsRestorer() {
    if (!committed_) items_ = std::move(saved_);
  }
  TABSMetaObjectDefsRestorer(const TABSMetaObjectDefsRestorer&) = delete;
  TABSMetaObjectDefsRestorer& operator=(const TABSMetaObjectDefsRestorer&) = delete;
  void Commit() { committed_ = true; }

 private:
  std::vector<std::unique_ptr<TABSMetaObjectDef>>& items_;
  std::vector<std::unique_ptr<TABSMetaObjectDef>> saved_;
  bool committed_ = false;
};

//! An ordered list of owned definitions.
class TABSMetaObjectDefs {
 public:
  TABSMetaObjectDefs() = default;
  TABSMetaObjectDefs(const TABSMetaObjectDefs&) = delete;
  TABSMetaObjectDefs& operator=(const TABSMetaObjectDefs&) = delete;
  virtual ~TABSMetaObjectDefs() = default;

  // Virtual operations in slot order.
  virtual int32_t Count() const;
  //! Appends a definition, taking ownership.
  virtual void Add(std::unique_ptr<TABSMetaObjectDef> definition);
  //! Creates a new empty definition of the list's class, appends it and returns it.
  //! The base raises 30339 (the method is not overridden).
  virtual TABSMetaObjectDef& AddCreated();
  //! Replaces the list by i32 count (10159) and that many definitions; a failed load keeps the list.
  virtual void LoadFromStream(TStream& stream);
  //! Writes i32 count (10158) and every definition.
  virtual void SaveToStream(TStream& stream) const;
  //! Clears the list, then copies each source definition in order. A name already present
  //! (case-insensitive) raises 10424 "Duplicate field name %s"; the copies made so far stay.
  virtual void Assign(const TABSMetaObjectDefs& source);
  //! Removes and frees the definition at `index`.
  virtual void Delete(int32_t index);
  //! Inserts a definition at `index` (0 .. Count), taking ownership.
  virtual void Insert(int32_t index, std::unique_ptr<TABSMetaObjectDef> definition);
  //! Moves the definition at `from` so that it ends up at `to`.
  virtual void Move(int32_t from, int32_t to);
  virtual void Clear();

  //! Returns the position of the definition with that name (case-insensitive); -1 when absent.
  int32_t IndexOfName(std::string_view name) const;
  TABSMetaObjectDef* FindByName(std::string_view name) const;
  //! Returns the position of the definition with that ObjectID; -1 when absent.
  int32_t IndexOfObjectID(int32_t objectId) const;
  TABSMetaObjectDef* FindByObjectID(int32_t objectId) const;

  TABSMetaObjectDef& Item(int32_t index) const { return *items_.at(static_cast<size_t>(index)); }

 protected:
  //! Returns the class name used in error messages.
  virtual const char* ClassName() const { return "TABSMetaObjectDefs"; }

  std::vector<std::unique_ptr<TABSMetaObjectDef>> items_;
};

}  // namespace viz
