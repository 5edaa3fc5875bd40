#include "marlcheckout/dispatch.h"

#include <gtest/gtest.h>

#include "marlcheckout/error.h"
#include "support/raised.h"

namespace marl {
namespace {

ParamInfo P(const char* name, VarType type, bool by_ref = false,
            bool optional = false, Variant def = Variant()) {
  return ParamInfo{name, type, by_ref, optional, std::move(def)};
}

class Calc : public Dispatchable {
 public:
  const DispatchTable& Table() const override {
    static const DispatchTable table = [] {
      DispatchTable t;
      t.class_name = "Calc";
      t.members.push_back({"Add",
                           1,
                           InvokeKind::Method,
                           {P("a", VarType::I4),
                            P("b", VarType::I4, false, true, Variant::I4(10))},
                           VarType::I4,
                           [](Dispatchable&, std::vector<Variant>& a) {
                             return Variant::I4(a[0].AsI4() + a[1].AsI4());
                           }});
      t.members.push_back({"Describe",
                           2,
                           InvokeKind::Method,
                           {P("x", VarType::Empty, false, true)},
                           VarType::Text,
                           [](Dispatchable&, std::vector<Variant>& a) {
                             return Variant::Text(a[0].IsMissing() ? "missing"
                                                                   : "given");
                           }});
      // Writes 2*in into out, then fails when asked to.
      t.members.push_back(
          {"Twice",
           3,
           InvokeKind::Method,
           {P("in", VarType::I4), P("out", VarType::I4, true),
            P("fail", VarType::Bool, false, true, Variant::Bool(false))},
           VarType::Empty,
           [](Dispatchable&, std::vector<Variant>& a) {
             a[1] = Variant::I4(a[0].AsI4() * 2);
             if (a[2].AsBool()) throw Error::Of(err::kInvalidArgument);
             return Variant();
           }});
      t.members.push_back({"Label",
                           4,
                           InvokeKind::PropertyGet,
                           {},
                           VarType::Text,
                           [](Dispatchable& self, std::vector<Variant>&) {
                             return Variant::Text(
                                 static_cast<Calc&>(self).label_);
                           }});
      t.members.push_back({"Label",
                           4,
                           InvokeKind::PropertyPut,
                           {P("value", VarType::Text)},
                           VarType::Empty,
                           [](Dispatchable& self, std::vector<Variant>& a) {
                             static_cast<Calc&>(self).label_ = a[0].AsText();
                             return Variant();
                           }});
      t.members.push_back(
          {"Later", 5, InvokeKind::Method, {}, VarType::Empty, nullptr});
      return t;
    }();
    return table;
  }
  std::string label_;
};

int32_t ErrorNumber(const std::function<void()>& f,
                    std::string* desc = nullptr) {
  Error e = test::Raised(f);
  if (desc) *desc = e.description();
  return e.number();
}

TEST(DispatchTest, ByNameAndIdWithDefaultsAndConversion) {
  Calc c;
  EXPECT_EQ(c.Invoke("add", {Variant::I4(1), Variant::I4(2)}).AsI4(), 3);
  EXPECT_EQ(c.Invoke("ADD", {Variant::Text(" 5 ")}).AsI4(), 15);
  EXPECT_EQ(c.Invoke("Add", {Variant::I2(1), Variant::Missing()}).AsI4(), 11);
  EXPECT_EQ(c.GetIDOfName("describe"), 2);
  std::vector<Variant> none;
  EXPECT_EQ(c.Invoke(2, InvokeKind::Method, none).AsText(), "missing");
  std::vector<Variant> one{Variant::Null()};
  EXPECT_EQ(c.Invoke(2, InvokeKind::Method, one).AsText(), "given");
}

TEST(DispatchTest, ByReferenceWritesBackOnSuccessOnly) {
  Calc c;
  std::vector<Variant> args{Variant::Text("21"), Variant()};
  c.Invoke("Twice", args);
  ASSERT_EQ(args[1].Type(), VarType::I4);
  EXPECT_EQ(args[1].AsI4(), 42);
  EXPECT_EQ(args[0].AsText(), "21");  // by value: the caller's copy stays

  std::vector<Variant> failing{Variant::I4(4), Variant::I4(-1),
                               Variant::Bool(true)};
  EXPECT_THROW(c.Invoke("Twice", failing), Error);
  EXPECT_EQ(failing[1].AsI4(), -1);
}

TEST(DispatchTest, PropertiesAndFailures) {
  Calc c;
  c.Put("label", Variant::Text("x"));
  EXPECT_EQ(c.Get("Label").AsText(), "x");
  EXPECT_EQ(c.Invoke("Label", {}).AsText(), "x");

  std::string desc;
  struct {
    std::function<void()> call;
    int32_t number;
  } cases[] = {
      {[&] { c.Invoke("Add", {}); }, err::kBadParamCount},
      {[&] { c.Invoke("Add", {Variant::Missing()}); }, err::kBadParamCount},
      {[&] {
         c.Invoke("Add", {Variant::I4(1), Variant::I4(2), Variant::I4(3)});
       },
       err::kBadParamCount},
      {[&] { c.Invoke("Add", {Variant::Text("x")}); }, err::kTypeMismatch},
      {[&] { c.Invoke("Add", {Variant::Null()}); }, err::kInvalidUseOfNull},
      {[&] { c.Invoke("Nope", {}); }, err::kUnknownName},
      {[&] { c.GetIDOfName("Nope"); }, err::kUnknownName},
      {[&] {
         std::vector<Variant> a;
         c.Invoke(99, InvokeKind::Method, a);
       },
       err::kMemberNotFound},
  };
  for (auto& cs : cases) EXPECT_EQ(ErrorNumber(cs.call), cs.number);

  EXPECT_EQ(ErrorNumber([&] { c.Invoke("Later", {}); }, &desc),
            err::kNotImplemented);
  EXPECT_NE(desc.find("Calc.Later"), std::string::npos) << desc;
}

}  // namespace
}  // namespace marl
