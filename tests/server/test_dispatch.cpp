// The class table through the registry: ProgIDs, identifiers, dispatch by
// name and by identifier, and the server entry points.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "data/ado.h"
#include "marlcheckout/marlcheckout.h"
#include "support/frame_fixture.h"

namespace marl::frame_test {
namespace {

TEST(ClassTableTest, EveryMethodHasItsDispatchIdentifier) {
  RegisterComponent();
  std::map<std::string, std::map<std::string, int32_t>> expected;
  std::ifstream in(std::string(MARL_GOLDEN_DIR) + "/server/dispids.txt");
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    std::string prog_id, name, hex;
    fields >> prog_id >> name >> hex;
    expected[prog_id][name] =
        static_cast<int32_t>(std::stoul(hex, nullptr, 16));
  }
  ASSERT_EQ(expected.size(), 3u);
  for (const auto& [prog_id, methods] : expected) {
    auto object = Registry::Instance().Create(prog_id);
    ASSERT_TRUE(object) << prog_id;
    EXPECT_EQ(object->Table().members.size(), methods.size()) << prog_id;
    for (const auto& [name, dispid] : methods) {
      EXPECT_EQ(object->GetIDOfName(name), dispid) << prog_id << "." << name;
    }
  }
  auto info = Registry::Instance().Find("marlcheckout.closedata");
  ASSERT_TRUE(info);
  EXPECT_EQ(info->transaction, TxAttribute::Required);
  EXPECT_EQ(info->earlier_iids.size(), 5u);
  EXPECT_EQ(Registry::Instance().Find(CheckOutInfo::kProgId)->transaction,
            TxAttribute::Supported);
  EXPECT_EQ(
      Registry::Instance().Find(CheckOutInfo::kProgId)->earlier_iids.size(),
      3u);
  EXPECT_EQ(Registry::Instance().Find(CheckOutUpdate::kProgId)->transaction,
            TxAttribute::Required);
}

// Two members of one class never share a dispatch identifier (a property's
// get and put share theirs).
TEST(ClassTableTest, DispatchIdentifiersAreDistinctPerClass) {
  RegisterComponent();
  std::vector<std::shared_ptr<Dispatchable>> objects = {
      data::Recordset::Create(), data::Connection::Create(),
      FieldValueSet::Create(), ItemList::Create()};
  for (const char* prog_id :
       {CloseData::kProgId, CheckOutInfo::kProgId, CheckOutUpdate::kProgId}) {
    objects.push_back(Registry::Instance().Create(prog_id));
  }
  for (const auto& object : objects) {
    std::map<int32_t, std::string> seen;
    for (const MemberInfo& m : object->Table().members) {
      const auto [it, fresh] = seen.emplace(m.dispid, m.name);
      EXPECT_TRUE(fresh || it->second == m.name)
          << object->Table().class_name << ": " << m.name << ", " << it->second;
    }
  }
}

class DispatchTest : public FrameDbTest {};

TEST_F(DispatchTest, CallsByNameAndByIdentifierReachTheTypedMethod) {
  Exec(
      "INSERT INTO CBOnInitBalance (FYear, FPeriod, FVchInterID, FChecked) "
      "VALUES (2005, 1, 9, 0)");
  auto info = Registry::Instance().Create("MarlCheckOut.CheckOutInfo");
  Variant by_name = info->Invoke("checkhasvoucher",
                                 {Variant::Text(Dsn()), Variant::I4(2005),
                                  Variant::Text("1")});  // converted to 32 bits
  EXPECT_EQ(by_name.Type(), VarType::Bool);
  EXPECT_TRUE(by_name.AsBool());
  std::vector<Variant> args = {Variant::Text(Dsn()), Variant::I4(2005),
                               Variant::I4(2)};
  Variant by_id = info->Invoke(0x60030008, InvokeKind::Method, args);
  EXPECT_FALSE(by_id.AsBool());

  EXPECT_THROW(info->Invoke("NoSuchMethod", {}), Error);
  EXPECT_THROW(info->Invoke("CheckHasVoucher", {Variant::Text(Dsn())}), Error);
}

TEST(ServerTest, FactoriesByClassIdentifierAndTheUnloadCheck) {
  std::shared_ptr<ClassFactory> factory;
  ASSERT_EQ(
      DllGetClassObject(ids::kCloseDataClsid, ids::kIClassFactory, &factory),
      0);
  ASSERT_TRUE(factory);
  EXPECT_EQ(DllCanUnloadNow(), 0);
  {
    auto object = factory->CreateInstance(ids::kCloseDataEarlierIids[4]);
    EXPECT_EQ(object->Table().class_name, "CloseData");
    EXPECT_TRUE(std::dynamic_pointer_cast<CloseData>(object));
    EXPECT_EQ(DllCanUnloadNow(), 1);
  }
  EXPECT_EQ(DllCanUnloadNow(), 0);
  factory->LockServer(true);
  EXPECT_EQ(DllCanUnloadNow(), 1);
  factory->LockServer(false);
  EXPECT_EQ(DllCanUnloadNow(), 0);

  // The earlier identifiers of one class do not lead to another class.
  EXPECT_THROW(factory->CreateInstance(ids::kCheckOutInfoEarlierIids[0]),
               Error);
  std::string lower = ids::kCheckOutInfoClsid;
  for (char& c : lower) c = static_cast<char>(std::tolower(c));
  ASSERT_EQ(DllGetClassObject(lower.c_str(), nullptr, &factory), 0);
  EXPECT_EQ(factory->CreateInstance(ids::kIDispatch)->Table().class_name,
            "CheckOutInfo");

  EXPECT_EQ(DllGetClassObject("{00000000-0000-0000-0000-000000000000}", nullptr,
                              &factory),
            static_cast<int32_t>(0x80040111));
  EXPECT_FALSE(factory);
  EXPECT_EQ(
      DllGetClassObject(ids::kCloseDataClsid, ids::kCloseDataIid, &factory),
      static_cast<int32_t>(0x80004002));
  EXPECT_EQ(DllGetClassObject(ids::kCloseDataClsid, nullptr, nullptr),
            static_cast<int32_t>(0x80004003));
}

TEST(ServerTest, UnregisterAndRegisterAgain) {
  RegisterComponent();
  EXPECT_EQ(DllUnregisterServer(), 0);
  try {
    Registry::Instance().Create("MarlCheckOut.CloseData");
    FAIL() << "created after unregistration";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), err::kClassNotRegistered);
  }
  EXPECT_FALSE(Registry::Instance().Find(ids::kResLoaderProgId));
  EXPECT_EQ(DllRegisterServer(), 0);
  EXPECT_TRUE(Registry::Instance().Create("MarlCheckOut.CloseData"));
  EXPECT_TRUE(Registry::Instance().CreateByClsid(ids::kCheckOutUpdateClsid));
}

TEST(ServerTest, TypedCreationJoinsTheCurrentTransaction) {
  TransactionScope scope;
  auto close = CloseData::Create();
  EXPECT_EQ(close->bound_transaction(), scope.transaction());
  EXPECT_EQ(close->transaction_attribute(), TxAttribute::Required);
  EXPECT_EQ(CheckOutInfo::Create()->transaction_attribute(),
            TxAttribute::Supported);
}

}  // namespace
}  // namespace marl::frame_test
