// FieldValueSet and ItemList (see marlcheckout/containers.h).
//
// FieldValueSet keeps its entries in a vector in the order their keys were
// first added. A small hash table of positions, inside the object (so that
// a set costs no extra allocation and a clone copies it with the entries),
// finds a key without comparing it with the others: the hash is taken over
// the key with ASCII letters folded to lower case, so keys that differ only
// in letter case land in the same chain. Keys are unique, so the one entry
// found is the first match. Past kIndexed entries (no set the component
// builds has that many) the search is linear.
#include "marlcheckout/containers.h"

#include "marlcheckout/error.h"

namespace marl {

namespace {

bool SameKey(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  // Callers mostly spell a key as it was added.
  if (a == b) return true;
  const char* x = a.data();
  const char* y = b.data();
  for (size_t i = 0; i < a.size(); ++i) {
    if (x[i] == y[i]) continue;
    // Two different bytes are the same letter in two cases when they differ
    // only in the case bit and that bit set gives a lower-case ASCII letter.
    const char lower = static_cast<char>(x[i] | 0x20);
    if (lower != static_cast<char>(y[i] | 0x20)) return false;
    if (lower < 'a' || lower > 'z') return false;
  }
  return true;
}

// Folds an ASCII upper-case letter to lower case; every other byte stays.
// Two keys are the same key (SameKey) exactly when they fold alike.
inline unsigned char Folded(char c) {
  const auto u = static_cast<unsigned char>(c);
  return u >= 'A' && u <= 'Z' ? static_cast<unsigned char>(u | 0x20u) : u;
}

// FNV-1a over the folded bytes, mixed down to one of 64 slots
// (FieldValueSet::kSlots).
size_t HomeSlot(std::string_view key) {
  uint32_t h = 2166136261u;
  for (char c : key) {
    h ^= Folded(c);
    h *= 16777619u;
  }
  return (h * 0x9E3779B1u) >> 26;
}

FieldValueSet& AsSet(Dispatchable& self) {
  return static_cast<FieldValueSet&>(self);
}

ItemList& AsList(Dispatchable& self) { return static_cast<ItemList&>(self); }

ParamInfo Param(std::string name, VarType type, bool by_ref = false,
                bool optional = false) {
  ParamInfo p;
  p.name = std::move(name);
  p.type = type;
  p.by_ref = by_ref;
  p.optional = optional;
  return p;
}

MemberInfo Member(std::string name, int32_t dispid, InvokeKind kind,
                  std::vector<ParamInfo> params, VarType result,
                  MemberHandler handler) {
  MemberInfo m;
  m.name = std::move(name);
  m.dispid = dispid;
  m.kind = kind;
  m.params = std::move(params);
  m.result = result;
  m.handler = std::move(handler);
  return m;
}

DispatchTable MakeSetTable() {
  DispatchTable t;
  t.class_name = "FieldValueSet";
  // Value: the default member, an indexed property read and written by key.
  t.members.push_back(Member(
      "Value", 0, InvokeKind::PropertyGet, {Param("Key", VarType::Text)},
      VarType::Empty, [](Dispatchable& self, std::vector<Variant>& args) {
        return AsSet(self).Value(args[0].AsText());
      }));
  t.members.push_back(Member(
      "Value", 0, InvokeKind::PropertyPut,
      {Param("Key", VarType::Text), Param("NewValue", VarType::Empty)},
      VarType::Empty, [](Dispatchable& self, std::vector<Variant>& args) {
        AsSet(self).SetValue(args[0].AsText(), std::move(args[1]));
        return Variant();
      }));
  t.members.push_back(
      Member("Count", 1, InvokeKind::PropertyGet, {}, VarType::I4,
             [](Dispatchable& self, std::vector<Variant>&) {
               return Variant::I4(static_cast<int32_t>(AsSet(self).Count()));
             }));
  t.members.push_back(
      Member("Exists", 2, InvokeKind::Method, {Param("Key", VarType::Text)},
             VarType::Bool, [](Dispatchable& self, std::vector<Variant>& args) {
               return Variant::Bool(AsSet(self).Exists(args[0].AsText()));
             }));
  // Lookup(Key, [ByRef Value]): true and the value when the key is held;
  // false and the argument left unchanged otherwise.
  t.members.push_back(Member(
      "Lookup", 3, InvokeKind::Method,
      {Param("Key", VarType::Text),
       Param("Value", VarType::Empty, /*by_ref=*/true, /*optional=*/true)},
      VarType::Bool, [](Dispatchable& self, std::vector<Variant>& args) {
        Variant v;
        bool found = AsSet(self).Lookup(args[0].AsText(), &v);
        if (found) args[1] = std::move(v);
        return Variant::Bool(found);
      }));
  t.members.push_back(Member("Clone", 4, InvokeKind::Method, {},
                             VarType::Object,
                             [](Dispatchable& self, std::vector<Variant>&) {
                               return Variant::Object(AsSet(self).Clone());
                             }));
  t.members.push_back(
      Member("Remove", 5, InvokeKind::Method, {Param("Key", VarType::Text)},
             VarType::Bool, [](Dispatchable& self, std::vector<Variant>& args) {
               return Variant::Bool(AsSet(self).Remove(args[0].AsText()));
             }));
  // Keys: an ItemList of the keys as text, in the order they were added.
  t.members.push_back(Member("Keys", 6, InvokeKind::Method, {}, VarType::Object,
                             [](Dispatchable& self, std::vector<Variant>&) {
                               auto list = ItemList::Create();
                               for (auto& k : AsSet(self).Keys())
                                 list->Add(Variant::Text(std::move(k)));
                               return Variant::Object(list);
                             }));
  return t;
}

DispatchTable MakeListTable() {
  DispatchTable t;
  t.class_name = "ItemList";
  // Item: the default member, the item at a 1-based position.
  t.members.push_back(Member(
      "Item", 0, InvokeKind::PropertyGet, {Param("Index", VarType::I4)},
      VarType::Empty, [](Dispatchable& self, std::vector<Variant>& args) {
        return AsList(self).Item(args[0].AsI4());
      }));
  t.members.push_back(Member(
      "Add", 1, InvokeKind::Method, {Param("Item", VarType::Empty)},
      VarType::Empty, [](Dispatchable& self, std::vector<Variant>& args) {
        AsList(self).Add(std::move(args[0]));
        return Variant();
      }));
  t.members.push_back(
      Member("Count", 2, InvokeKind::PropertyGet, {}, VarType::I4,
             [](Dispatchable& self, std::vector<Variant>&) {
               return Variant::I4(static_cast<int32_t>(AsList(self).Count()));
             }));
  t.members.push_back(Member("UBound", 3, InvokeKind::PropertyGet, {},
                             VarType::I4,
                             [](Dispatchable& self, std::vector<Variant>&) {
                               return Variant::I4(AsList(self).UBound());
                             }));
  t.members.push_back(Member(
      "Remove", 4, InvokeKind::Method, {Param("Index", VarType::I4)},
      VarType::Empty, [](Dispatchable& self, std::vector<Variant>& args) {
        AsList(self).Remove(args[0].AsI4());
        return Variant();
      }));
  return t;
}

}  // namespace

// ---------------------------------------------------------------------------
// FieldValueSet

std::shared_ptr<FieldValueSet> FieldValueSet::Create() {
  return std::make_shared<FieldValueSet>();
}

ptrdiff_t FieldValueSet::Index(std::string_view key) const {
  const size_t n = entries_.size();
  if (n > kIndexed) {
    for (size_t i = 0; i < n; ++i) {
      if (SameKey(entries_[i].first, key)) return static_cast<ptrdiff_t>(i);
    }
    return -1;
  }
  // At most kIndexed of the kSlots slots are taken, so a free slot ends
  // every chain.
  for (size_t slot = HomeSlot(key);; slot = (slot + 1) % kSlots) {
    const uint8_t held = slots_[slot];
    if (held == 0) return -1;
    const size_t i = held - 1u;
    if (SameKey(entries_[i].first, key)) return static_cast<ptrdiff_t>(i);
  }
}

void FieldValueSet::IndexEntry(size_t position) {
  size_t slot = HomeSlot(entries_[position].first);
  while (slots_[slot] != 0) slot = (slot + 1) % kSlots;
  slots_[slot] = static_cast<uint8_t>(position + 1);
}

void FieldValueSet::Reindex() {
  slots_.fill(0);
  if (entries_.size() > kIndexed) return;
  for (size_t i = 0; i < entries_.size(); ++i) IndexEntry(i);
}

Variant FieldValueSet::Value(std::string_view key) const {
  ptrdiff_t i = Index(key);
  return i < 0 ? Variant() : entries_[static_cast<size_t>(i)].second;
}

void FieldValueSet::SetValue(std::string_view key, Variant value) {
  ptrdiff_t i = Index(key);
  if (i < 0) {
    entries_.emplace_back(std::string(key), std::move(value));
    if (entries_.size() <= kIndexed) IndexEntry(entries_.size() - 1);
  } else {
    entries_[static_cast<size_t>(i)].second = std::move(value);
  }
}

bool FieldValueSet::Lookup(std::string_view key, Variant* value) const {
  ptrdiff_t i = Index(key);
  if (i < 0) return false;
  if (value != nullptr) *value = entries_[static_cast<size_t>(i)].second;
  return true;
}

bool FieldValueSet::Remove(std::string_view key) {
  ptrdiff_t i = Index(key);
  if (i < 0) return false;
  entries_.erase(entries_.begin() + i);
  Reindex();
  return true;
}

std::vector<std::string> FieldValueSet::Keys() const {
  std::vector<std::string> keys;
  keys.reserve(entries_.size());
  for (const auto& e : entries_) keys.push_back(e.first);
  return keys;
}

std::shared_ptr<FieldValueSet> FieldValueSet::Clone() const {
  auto copy = Create();
  copy->entries_ = entries_;
  copy->slots_ = slots_;
  return copy;
}

const DispatchTable& FieldValueSet::Table() const {
  static const DispatchTable table = MakeSetTable();
  return table;
}

// ---------------------------------------------------------------------------
// ItemList

std::shared_ptr<ItemList> ItemList::Create() {
  return std::make_shared<ItemList>();
}

void ItemList::Add(Variant item) { items_.push_back(std::move(item)); }

const Variant& ItemList::Item(int32_t position) const {
  if (position < 1 || static_cast<size_t>(position) > items_.size()) {
    throw Error::Of(err::kSubscriptRange, "ItemList");
  }
  return items_[static_cast<size_t>(position) - 1];
}

std::shared_ptr<FieldValueSet> ItemList::Record(int32_t position) const {
  const Variant& v = Item(position);
  if (v.Type() != VarType::Object) return nullptr;
  return std::dynamic_pointer_cast<FieldValueSet>(v.AsObject());
}

void ItemList::Remove(int32_t position) {
  if (position < 1 || static_cast<size_t>(position) > items_.size()) {
    throw Error::Of(err::kSubscriptRange, "ItemList");
  }
  items_.erase(items_.begin() + (position - 1));
}

const DispatchTable& ItemList::Table() const {
  static const DispatchTable table = MakeListTable();
  return table;
}

}  // namespace marl
