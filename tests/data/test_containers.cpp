#include <gtest/gtest.h>

#include <cctype>
#include <memory>
#include <string>
#include <vector>

#include "marlcheckout/containers.h"
#include "marlcheckout/error.h"
#include "marlcheckout/variant.h"
#include "support/raised.h"

namespace marl {
namespace {

using test::Raised;

TEST(FieldValueSet, KeysIgnoreCaseWritesReplaceAndClonesAreIndependent) {
  auto inner = FieldValueSet::Create();
  auto set = FieldValueSet::Create();
  set->SetValue("FYear", Variant::I4(2023));
  set->SetValue("FPeriod", Variant::I4(11));
  set->SetValue("fyear", Variant::I4(2024));
  set->SetValue("FYEAR", Variant::Text("2025"));
  EXPECT_EQ(set->Value("fYeAr").AsText(), "2025");
  EXPECT_TRUE(set->Exists("FPERIOD"));
  EXPECT_EQ(set->Keys(), (std::vector<std::string>{"FYear", "FPeriod"}));

  // An absent key reads as Empty; Lookup tells it apart from a held Empty.
  set->SetValue("FNote", Variant());
  Variant v = Variant::I4(-1);
  EXPECT_TRUE(set->Value("FMissing").IsEmpty());
  EXPECT_FALSE(set->Lookup("FMissing", &v));
  EXPECT_EQ(v.AsI4(), -1);
  EXPECT_TRUE(set->Lookup("fnote", &v));
  EXPECT_TRUE(v.IsEmpty());
  EXPECT_TRUE(set->Remove("FPERIOD"));
  EXPECT_FALSE(set->Remove("FPeriod"));
  EXPECT_EQ(set->Count(), 2u);

  // A clone has its own pairs; the objects they refer to stay shared.
  set->SetValue("Row", Variant::Object(inner));
  auto copy = set->Clone();
  copy->SetValue("fyear", Variant::I4(2));
  copy->SetValue("B", Variant::I4(3));
  copy->Remove("Row");
  EXPECT_EQ(set->Value("FYear").AsText(), "2025");
  EXPECT_FALSE(set->Exists("B"));
  EXPECT_EQ(set->Value("Row").AsObject(), inner);
  EXPECT_EQ(copy->Value("FYear").AsI4(), 2);
  EXPECT_EQ(copy->Count(), 3u);
}

// Sets of every size around the point where the key search changes: keys
// found in any letter case, bytes that differ only in the case bit but are
// not letters kept apart, order kept through removals and re-additions.
TEST(FieldValueSet, ManyKeys) {
  for (int n : {3, 47, 48, 49, 120}) {
    SCOPED_TRACE(n);
    auto set = FieldValueSet::Create();
    std::vector<std::string> keys;
    for (int i = 0; i < n; ++i) {
      keys.push_back("fKey" + std::to_string(i) + (i % 2 ? "@" : "`"));
      set->SetValue(keys.back(), Variant::I4(i));
    }
    set->SetValue("FKEY0`", Variant::I4(-1));  // the same key as "fKey0`"
    set->SetValue("fkey0@", Variant::I4(-2));  // '@' is not '`' upper-cased
    keys.push_back("fkey0@");
    EXPECT_EQ(set->Keys(), keys);
    EXPECT_EQ(set->Value("fkey0`").AsI4(), -1);
    for (int i = 1; i < n; ++i) {
      std::string upper = keys[static_cast<size_t>(i)];
      for (char& c : upper) c = static_cast<char>(std::toupper(c));
      EXPECT_EQ(set->Value(upper).AsI4(), i) << upper;
    }
    // Every third key goes; the others stay found, in their order.
    std::vector<std::string> kept;
    for (size_t i = 0; i < keys.size(); ++i) {
      if (i % 3 == 1) {
        EXPECT_TRUE(set->Remove(keys[i]));
      } else {
        kept.push_back(keys[i]);
      }
    }
    EXPECT_EQ(set->Keys(), kept);
    for (const std::string& k : kept) EXPECT_TRUE(set->Exists(k)) << k;
    EXPECT_FALSE(set->Exists(keys[1]));
    set->SetValue(keys[1], Variant::I4(7));
    kept.push_back(keys[1]);
    EXPECT_EQ(set->Keys(), kept);
    auto copy = set->Clone();
    EXPECT_EQ(copy->Value(keys[1]).AsI4(), 7);
    EXPECT_EQ(copy->Keys(), kept);
  }
}

TEST(FieldValueSet, LateBound) {
  auto set = FieldValueSet::Create();
  set->Put("Value", Variant::R8(1.5), {Variant::Text("FQty")});
  set->Put("value", Variant::R8(2.5), {Variant::Text("fqty")});
  EXPECT_EQ(set->Get("Value", {Variant::Text("FQTY")}).AsR8(), 2.5);
  EXPECT_EQ(set->Get("Count").AsI4(), 1);
  // Value is the default member (dispatch identifier 0).
  std::vector<Variant> args{Variant::Text("FQty")};
  EXPECT_EQ(set->Invoke(0, InvokeKind::PropertyGet, args).AsR8(), 2.5);
  EXPECT_TRUE(set->Invoke("Exists", {Variant::Text("fqty")}).AsBool());
  // Lookup writes the value back through its by-reference argument.
  std::vector<Variant> lookup{Variant::Text("FQty"), Variant()};
  EXPECT_TRUE(set->Invoke("Lookup", lookup).AsBool());
  EXPECT_EQ(lookup[1].AsR8(), 2.5);
  auto copy = std::dynamic_pointer_cast<FieldValueSet>(
      set->Invoke("Clone", {}).AsObject());
  ASSERT_NE(copy, nullptr);
  copy->SetValue("FQty", Variant::R8(9));
  EXPECT_EQ(set->Value("FQty").AsR8(), 2.5);
}

TEST(ItemList, PositionsAndRemoval) {
  auto list = ItemList::Create();
  EXPECT_EQ(list->UBound(), 0);
  std::vector<std::shared_ptr<FieldValueSet>> rows;
  for (int i = 1; i <= 4; ++i) {
    rows.push_back(FieldValueSet::Create());
    rows.back()->SetValue("FID", Variant::I4(i));
    list->Add(Variant::Object(rows.back()));
  }
  list->Add(Variant::Text("not a record"));
  EXPECT_EQ(list->UBound(), 5);
  EXPECT_EQ(list->Record(2), rows[1]);
  EXPECT_EQ(list->Record(5), nullptr);
  // Walking from the highest position down, removing every even FID.
  list->Remove(5);
  for (int32_t i = list->UBound(); i >= 1; --i) {
    if (list->Record(i)->Value("FID").AsI4() % 2 == 0) list->Remove(i);
  }
  ASSERT_EQ(list->UBound(), 2);
  EXPECT_EQ(list->Record(1)->Value("FID").AsI4(), 1);
  EXPECT_EQ(list->Record(2)->Value("FID").AsI4(), 3);
  for (int32_t bad : {0, -1, 3}) {
    EXPECT_EQ(Raised([&] { list->Item(bad); }).number(), err::kSubscriptRange);
    EXPECT_EQ(Raised([&] { list->Remove(bad); }).number(),
              err::kSubscriptRange);
  }
  EXPECT_EQ(list->Count(), 2u);

  // Late bound: the default indexed member is Item (dispatch identifier 0).
  list->Invoke("Add", {Variant::Text("third")});
  EXPECT_EQ(list->Invoke("UBound", {}).AsI4(), 3);
  EXPECT_EQ(list->Get("Count").AsI4(), 3);
  EXPECT_EQ(list->Get("Item", {Variant::I2(3)}).AsText(), "third");
  std::vector<Variant> args{Variant::I4(1)};
  EXPECT_EQ(list->Invoke(0, InvokeKind::PropertyGet, args).AsObject(), rows[0]);
  list->Invoke("Remove", {Variant::I4(1)});
  EXPECT_EQ(list->Item(2).AsText(), "third");
  EXPECT_EQ(Raised([&] { list->Invoke("Remove", {Variant::I4(3)}); }).number(),
            err::kSubscriptRange);
}

}  // namespace
}  // namespace marl
