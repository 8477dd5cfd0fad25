// The engine's one typed value: a field value, a key value, an SQL parameter, a constant or the
// result of an expression. It holds one value of a base type (data_types.h) in the same byte form a
// record buffer uses, or NULL.
//
// Ownership. The payload is either owned (a block of the engine's memory manager, released exactly
// once: when the value is cleared, replaced or destroyed) or borrowed (it points into memory the
// variant does not own, such as a record buffer or another variant, and is never freed by it).
// Every operation that writes into the payload first makes a borrowed payload owned, so borrowed
// memory is only ever read.
//
// Payloads: as the stored forms, with these additions:
//   CHAR, STRING            text + one zero byte                     (size = length + 1)
//   WIDECHAR, WIDESTRING    UTF-16 text + one zero unit              (size = 2 × (length + 1))
//   MEMO                    single-byte text without terminator
//   WIDEMEMO                UTF-16 text without terminator
//   BLOB                    the bytes followed by one zero byte      (size = bytes + 1)
//   BYTES, VARBYTES         the bytes
//
// Stream form (SaveToStream / LoadFromStream):
//   offset | width | content
//   0      | 1     | base type
//   1      | 1     | null marker: 0 = a value follows, anything else = NULL and nothing follows
//   2      | 4     | payload size, little-endian                  (only when not NULL)
//   6      | size  | payload                                      (only when not NULL)
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "engine/types/data_types.h"
#include "engine/types/date_time.h"
#include "engine/types/field_access.h"
#include "engine/types/raw_values.h"
#include "engine/types/stream_base.h"
#include "framework/data/variant.h"

namespace viz {

//! How `Assign` and `SetRaw` take a payload.
enum class TABSCopyMode : uint8_t {
  Borrow = 0,  //!< refer to the other memory
  Copy = 1,    //!< copy into an owned payload
};

class TABSVariant {
 public:
  static constexpr uint8_t kNullMarker = 255;

  //! A NULL value of the given type.
  explicit TABSVariant(TABSBaseType type = bt::kNone) : type_(type) {}
  //! A deep copy: the copy owns its payload.
  TABSVariant(const TABSVariant& other) { Assign(other, TABSCopyMode::Copy); }
  TABSVariant& operator=(const TABSVariant& other);
  TABSVariant(TABSVariant&& other) noexcept;
  TABSVariant& operator=(TABSVariant&& other) noexcept;
  ~TABSVariant() { FreePayload(); }

  // ---- State
  TABSBaseType GetType() const { return type_; }
  int32_t GetSize() const { return size_; }
  const void* GetData() const { return data_; }
  bool IsBorrowed() const { return borrowed_; }
  uint8_t GetNullMarker() const { return nullMarker_; }

  //! Frees an owned payload; the value becomes a NULL of `type` without data.
  void Clear(TABSBaseType type = bt::kNone);
  //! Marks the value NULL; type and payload stay.
  void SetNull() { nullMarker_ = kNullMarker; }
  bool IsNull() const { return nullMarker_ != 0 || data_ == nullptr; }
  //! Raises 30016 "Value is Null" when NULL.
  void CheckNotNull() const;
  //! Takes type, size and null marker of `other`, and its payload by copy or by reference.
  void Assign(const TABSVariant& other, TABSCopyMode mode);
  //! Takes the bytes as a value of `type`. Borrow: refers to the caller's bytes, which must outlive
  //! the use. Copy: reuses an owned payload of exactly this size, else allocates.
  void SetRaw(const void* value, int32_t size, TABSBaseType type, TABSCopyMode mode);
  //! Copies the payload into `buffer`. Returns false for NULL and for an empty string; raises 20056
  //! "Buffer size exceeded" when `capacity` (−1: unlimited) is smaller than the size.
  bool CopyRawTo(void* buffer, int32_t capacity) const;
  //! Characters of a string value; −1 for NULL and for other types.
  int32_t StringLength() const;

  // ---- Typed access. A setter converts into the variant's own type (a variant of type 0 takes
  // the setter's type); a getter converts from it. Raises 30016 when reading NULL, 30051 or 30052
  // when the conversion fails.

  //! Stores a value of type `type` (a terminated string for the string types; `size` bytes for the
  //! BLOB and byte kinds). An empty string leaves the value NULL.
  void SetTypedValue(TABSBaseType type, const void* value, int32_t size = -1);
  //! Copies the value as a fixed-size type into `destination` (`BaseTypeDataSize(type, 0)` bytes).
  void GetTypedValue(TABSBaseType type, void* destination) const;
  //! Returns the value converted to `type` in a new block (strings terminated, BLOB with its
  //! trailing zero byte).
  TABSMemBlock GetTypedValue(TABSBaseType type) const;

  void SetAsChar(std::string_view text) { SetText(bt::kChar, text); }
  void SetAsString(std::string_view text) { SetText(bt::kString, text); }
  void SetAsWideChar(std::u16string_view text) { SetWideText(bt::kWideChar, text); }
  void SetAsWideString(std::u16string_view text) { SetWideText(bt::kWideString, text); }
  void SetAsShortInt(int8_t value) { SetTypedValue(bt::kShortInt, &value); }
  void SetAsSmallInt(int16_t value) { SetTypedValue(bt::kSmallInt, &value); }
  void SetAsInteger(int32_t value) { SetTypedValue(bt::kInteger, &value); }
  void SetAsLargeInt(int64_t value) { SetTypedValue(bt::kLargeInt, &value); }
  void SetAsByte(uint8_t value) { SetTypedValue(bt::kByte, &value); }
  void SetAsWord(uint16_t value) { SetTypedValue(bt::kWord, &value); }
  void SetAsCardinal(uint32_t value) { SetTypedValue(bt::kCardinal, &value); }
  void SetAsSingle(float value) { SetTypedValue(bt::kSingle, &value); }
  void SetAsFloat(double value) { SetTypedValue(bt::kFloat, &value); }
  void SetAsExtended(long double value);
  //! The date-time setters take a day-count float and store its stored form.
  void SetAsDate(double dateTime);
  void SetAsTime(double dateTime);
  void SetAsDateTime(double dateTime);
  void SetAsBlob(std::span<const uint8_t> bytes);
  void SetAsMemo(std::string_view text) {
    SetTypedValue(bt::kMemo, text.data(), static_cast<int32_t>(text.size()));
  }
  void SetAsWideMemo(std::u16string_view text) {
    SetTypedValue(bt::kWideMemo, text.data(), static_cast<int32_t>(text.size() * 2));
  }
  void SetAsLogical(bool value);
  void SetAsCurrency(double value) { SetTypedValue(bt::kCurrency, &value); }
  void SetAsBytes(std::span<const uint8_t> bytes) {
    SetTypedValue(bt::kBytes, bytes.data(), static_cast<int32_t>(bytes.size()));
  }
  void SetAsVarBytes(std::span<const uint8_t> bytes) {
    SetTypedValue(bt::kVarBytes, bytes.data(), static_cast<int32_t>(bytes.size()));
  }

  std::string GetAsChar() const { return GetText(bt::kChar); }
  std::string GetAsString() const { return GetText(bt::kString); }
  std::u16string GetAsWideChar() const { return GetWideText(bt::kWideChar); }
  std::u16string GetAsWideString() const { return GetWideText(bt::kWideString); }
  int8_t GetAsShortInt() const { return GetFixed<int8_t>(bt::kShortInt); }
  int16_t GetAsSmallInt() const { return GetFixed<int16_t>(bt::kSmallInt); }
  int32_t GetAsInteger() const { return GetFixed<int32_t>(bt::kInteger); }
  int64_t GetAsLargeInt() const { return GetFixed<int64_t>(bt::kLargeInt); }
  uint8_t GetAsByte() const { return GetFixed<uint8_t>(bt::kByte); }
  uint16_t GetAsWord() const { return GetFixed<uint16_t>(bt::kWord); }
  uint32_t GetAsCardinal() const { return GetFixed<uint32_t>(bt::kCardinal); }
  float GetAsSingle() const { return GetFixed<float>(bt::kSingle); }
  double GetAsFloat() const { return GetFixed<double>(bt::kFloat); }
  long double GetAsExtended() const;
  //! The date-time getters give a day-count float.
  double GetAsDate() const { return DayNumberToDateTime(GetFixed<int32_t>(bt::kDate)); }
  double GetAsTime() const { return MillisecondsToDateTime(GetFixed<int32_t>(bt::kTime)); }
  double GetAsDateTime() const;
  //! The BLOB's bytes without the trailing zero byte.
  std::string GetAsBlob() const;
  std::string GetAsMemo() const;
  std::u16string GetAsWideMemo() const;
  bool GetAsLogical() const { return GetFixed<int16_t>(bt::kLogical) != 0; }
  double GetAsCurrency() const { return GetFixed<double>(bt::kCurrency); }
  std::string GetAsBytes() const;

  // ---- Type change
  //! Converts the value into type `type`; a failure raises and leaves the value unchanged.
  void ConvertTo(TABSBaseType type);
  //! As `ConvertTo`, but a failed conversion makes the value a NULL of `type` instead of raising.
  void CastToOrNull(TABSBaseType type);

  // ---- Exchange with the framework's variant
  //! Stores a framework variant (converted into this variant's type when it has one).
  //! Raises 30113 for a kind without an engine form.
  void SetAsVariant(const Variant& value);
  //! Returns the value as a framework variant. Raises 30114 for MEMO, WIDEMEMO, BYTES, VARBYTES.
  Variant GetAsVariant() const;

  // ---- Arithmetic: this value is the left operand and receives the result
  //! Sign change (logical not for LOGICAL). Raises 30123 for types without a sign.
  void Negate();
  //! Sum, concatenation for strings, logical or for LOGICAL. Raises 30124.
  void Add(const TABSVariant& right);
  //! Product; logical or for LOGICAL. Raises 30126.
  void Multiply(const TABSVariant& right);
  //! Quotient (integers truncate toward zero); logical or for LOGICAL. Raises 30127, and 30128
  //! "Division error" for a division by zero or an overflow.
  void Divide(const TABSVariant& right);

  // ---- Comparison
  //! Compares with `right`. Raw result: the codes of `CompareRawValues` (3, 4, 5 for NULLs);
  //! otherwise 0 equal, 1 less, 2 greater, NULL before every value and two NULLs equal.
  //! Prefix only: strings are compared over the length of the shorter one.
  int Compare(const TABSVariant& right, bool rawResult = false, bool ignoreCase = false,
              bool prefixOnly = false) const;

  // ---- Record fields (the caller has checked the field number against the field count)
  //! Takes field `fieldNo` of a record buffer: NULL (type kept) when its null bit is set, otherwise
  //! the field's bytes as a value of its base type, copied or borrowed. Borrowing allocates nothing;
  //! the value then lives only as long as the record buffer.
  void ReadFromRecord(const void* recordBuffer, int32_t fieldNo, const TABSFieldLayout& field,
                      TABSCopyMode mode = TABSCopyMode::Copy);
  //! Stores the value into field `fieldNo`: NULL (and the empty string) set the null bit; otherwise
  //! the value is converted to the field's base type and copied with the field's size as capacity.
  //! Raises 20056 "Buffer size exceeded" for a longer value, 30051 or 30052 when it does not convert.
  void WriteToRecord(void* recordBuffer, int32_t fieldNo, const TABSFieldLayout& field);

  // ---- Stream form
  //! Raises "Cannot write to stream ..." with 10179 (type), 10180 (null marker), 10181 (size) or
  //! 10182 (payload).
  void SaveToStream(TABSStreamBase& stream) const;
  //! Clears, then reads the value. Raises "Cannot read from stream ..." with 10183 (type), 10184
  //! (null marker), 10185 (size) or 10186 (payload), leaving the value cleared.
  void LoadFromStream(TABSStreamBase& stream);

 private:
  void FreePayload() noexcept;
  // Replaces the payload by an owned block; the value is then not NULL.
  void TakeBlock(TABSMemBlock block);
  // Turns a borrowed payload into an owned copy.
  void MakeOwned();
  void SetText(TABSBaseType type, std::string_view text);
  void SetWideText(TABSBaseType type, std::u16string_view text);
  std::string GetText(TABSBaseType type) const;
  std::u16string GetWideText(TABSBaseType type) const;
  template <class T>
  T GetFixed(TABSBaseType type) const {
    T value;
    GetTypedValue(type, &value);
    return value;
  }
  // The arithmetic operations share their preparation: null rules, common type, right operand.
  enum class Operation { Add, Multiply, Divide };
  void Arithmetic(const TABSVariant& right, Operation operation);

  TABSBaseType type_ = bt::kNone;
  int32_t size_ = 0;
  void* data_ = nullptr;
  bool borrowed_ = false;
  uint8_t nullMarker_ = kNullMarker;
};

}  // namespace viz
