// FieldValueSet and ItemList: the keyed value set and the 1-based list of
// records that carry rows, filters and field values across the component's
// interface.
//
// Contract
// - FieldValueSet keys are compared without regard to letter case (column
//   names are case-insensitive in the database). Entries keep the order in
//   which their keys were first added (Keys()); nothing in the component
//   depends on that order, but output is stable.
// - Reading Value() of an absent key gives an Empty Variant (no error); use
//   Lookup() where absence must be told apart from an Empty value.
// - Clone() is a deep copy of the entries (object references inside stay
//   shared).
// - ItemList positions run from 1 to Count() (== UBound()); Item() and
//   Remove() outside that range raise error 9 (subscript out of range).
// - Both are Dispatchable: late-bound callers use "Value" (indexed property,
//   read and write), "Count", "Exists", "Clone", and for the list "Add",
//   "Item" (the default member, dispatch identifier 0), "UBound", "Remove".
// - Objects returned to a caller belong to the caller.
// Thread safety: none; one caller at a time.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "marlcheckout/dispatch.h"
#include "marlcheckout/export.h"
#include "marlcheckout/variant.h"

namespace marl {

class MARL_API FieldValueSet : public Dispatchable {
 public:
  static std::shared_ptr<FieldValueSet> Create();

  Variant Value(std::string_view key) const;
  void SetValue(std::string_view key, Variant value);
  bool Lookup(std::string_view key, Variant* value = nullptr) const;
  bool Exists(std::string_view key) const { return Lookup(key); }
  bool Remove(std::string_view key);
  size_t Count() const { return entries_.size(); }
  // Makes room for `count` entries (changes nothing that can be observed).
  void Reserve(size_t count) { entries_.reserve(count); }
  std::vector<std::string> Keys() const;
  std::shared_ptr<FieldValueSet> Clone() const;

  const DispatchTable& Table() const override;

 private:
  // A hash table of the entries while there are at most kIndexed of them,
  // open addressing with linear probing: each slot holds an entry's
  // position + 1, or 0 when free. A larger set is searched from its first
  // entry.
  static constexpr size_t kSlots = 64;
  static constexpr size_t kIndexed = 48;
  static_assert(kIndexed < kSlots && kIndexed < 255);

  std::vector<std::pair<std::string, Variant>> entries_;
  std::array<uint8_t, kSlots> slots_{};
  ptrdiff_t Index(std::string_view key) const;
  void IndexEntry(size_t position);
  void Reindex();
};

class MARL_API ItemList : public Dispatchable {
 public:
  static std::shared_ptr<ItemList> Create();

  void Add(Variant item);
  size_t Count() const { return items_.size(); }
  int32_t UBound() const { return static_cast<int32_t>(items_.size()); }
  const Variant& Item(int32_t position) const;  // 1-based
  // The item at `position` as a FieldValueSet (nullptr when it is not one).
  std::shared_ptr<FieldValueSet> Record(int32_t position) const;
  void Remove(int32_t position);

  const DispatchTable& Table() const override;

 private:
  std::vector<Variant> items_;
};

}  // namespace marl
