#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "data/ado.h"
#include "data/cparse.h"
#include "data/data_source.h"
#include "data/provider.h"
#include "data/sqlite/sqlite_provider.h"
#include "marlcheckout/error.h"
#include "marlcheckout/transaction.h"
#include "support/golden.h"
#include "support/raised.h"

namespace marl::data {
namespace {

// A provider that runs everything on the embedded SQLite provider but
// reports the provider properties a test sets, and counts what reaches it.
struct ProbeState {
  std::mutex mu;
  std::map<std::string, Variant> properties;
  std::atomic<int> opens{0};
  std::atomic<int> runs{0};
  std::atomic<int> property_lists{0};  // Properties() calls
};

ProbeState& Probe() {
  static ProbeState state;
  return state;
}

class ProbeConnection : public PhysicalConnection {
 public:
  explicit ProbeConnection(std::unique_ptr<PhysicalConnection> inner)
      : inner_(std::move(inner)) {}
  void Begin(bool for_write) override { inner_->Begin(for_write); }
  void Commit() override { inner_->Commit(); }
  void Rollback() override { inner_->Rollback(); }
  bool InTransaction() const override { return inner_->InTransaction(); }
  ResultSet Run(const std::string& text,
                const std::vector<BoundParam>& params) override {
    ++Probe().runs;
    return inner_->Run(text, params);
  }
  std::map<std::string, Variant> Properties() override {
    ++Probe().property_lists;
    std::lock_guard<std::mutex> lock(Probe().mu);
    return Probe().properties;
  }
  std::string ProviderName() const override { return "Probe"; }

 private:
  std::unique_ptr<PhysicalConnection> inner_;
};

class ProbeProvider : public Provider {
 public:
  std::string Name() const override { return "Probe"; }
  std::unique_ptr<PhysicalConnection> Open(
      const ConnectionParams& params) override {
    ++Probe().opens;
    return std::make_unique<ProbeConnection>(sqlite_->Open(params));
  }

 private:
  std::shared_ptr<Provider> sqlite_ = sqlite::MakeSqliteProvider();
};

void SetProbeProperties(std::map<std::string, Variant> props) {
  std::lock_guard<std::mutex> lock(Probe().mu);
  Probe().properties = std::move(props);
}

std::map<std::string, Variant> FullProperties() {
  return {{"DBMS Name", Variant::Text("Probe")},
          {"DBMS Version", Variant::Text("1.0")},
          {"Multiple Results", Variant::I4(1)},
          {"Like Escape Clause", Variant::Text("Y")},
          {"Integrity Enhancement Facility", Variant::Bool(true)},
          {"Numeric Functions", Variant::I4(0x7FFFFF)},
          {"String Functions", Variant::I4(0x1FFFFF)},
          {"System Functions", Variant::I4(7)},
          {"Time/Date Functions", Variant::I4(0x1FFFF)}};
}

const char kDataTypeInfo[] =
    "CREATE TABLE t_DataTypeInfo (FDataType INTEGER, FTypeName TEXT,"
    " FMaxPrecision INTEGER, FMinScale INTEGER, FMaxScale INTEGER,"
    " FActualType INTEGER, FActualSize INTEGER, FBindType INTEGER);"
    "INSERT INTO t_DataTypeInfo VALUES"
    " (3, 'int', NULL, NULL, NULL, 3, 4, 3),"
    " (202, 'nvarchar', 4000, NULL, NULL, 202, NULL, 202),"
    " (131, 'decimal', 28, 0, 10, 5, NULL, 131),"
    " (200, 'varchar() collate nocase', 8000, NULL, NULL, 200, NULL, 200),"
    " (128, 'raw(x', 100, NULL, NULL, 128, NULL, 204),"
    " (72, NULL, NULL, NULL, NULL, 72, 16, 72),"
    " (11, 'bit', NULL, NULL, NULL, NULL, 1, 11);";
const char kSupportedProc[] =
    "CREATE TABLE t_SupportedProc (FProcName TEXT);"
    "INSERT INTO t_SupportedProc VALUES ('sp_CloseMonth'), ('sp_Archive');";

class DataSourceTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    static std::once_flag once;
    std::call_once(once,
                   [] { RegisterProvider(std::make_shared<ProbeProvider>()); });
  }

  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    name_ = info->name();
    path_ = ::testing::TempDir() + "marl_ds_" + name_ + "_" +
            std::to_string(getpid()) + ".db";
    std::remove(path_.c_str());
    SetProbeProperties(FullProperties());
  }
  void TearDown() override { std::remove(path_.c_str()); }

  // Runs `sql` on the test database, made when missing.
  void AddTable(const std::string& sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path_.c_str(), &db), SQLITE_OK);
    const int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
    sqlite3_close(db);
    ASSERT_EQ(rc, SQLITE_OK) << sql;
  }
  void CreateDb() { AddTable(std::string(kDataTypeInfo) + kSupportedProc); }

  // A data source over its own parser. The product version is the test's
  // name, so every test has cache groups of its own.
  std::unique_ptr<CDataSource> Source(const std::string& provider = "Probe",
                                      const std::string& dbms = "Probe") {
    auto parse = std::make_shared<CParse>();
    parse->ParseString("ConnectString={Provider=" + provider +
                       ";Data Source=" + path_ + "};DBMS Name=" + dbms +
                       ";DBMS Version=" + name_ + ";LANGUAGE=en");
    auto ds = std::make_unique<CDataSource>();
    ds->SetParseObject(parse);
    return ds;
  }

  std::string name_;
  std::string path_;
};

int32_t ErrorOf(const std::function<void()>& f) {
  return test::Raised(f).number();
}

// The rows of a tab-separated table of tests/golden/data ("#" lines are
// comments), each of `width` fields.
std::vector<std::vector<std::string>> Table(const std::string& file,
                                            size_t width) {
  std::vector<std::vector<std::string>> rows;
  for (const std::string& line : test::golden::FileLines(
           std::string(MARL_GOLDEN_DIR) + "/data/" + file)) {
    if (line.empty() || line[0] == '#') continue;
    std::stringstream in(line);
    rows.emplace_back();
    for (std::string field; std::getline(in, field, '\t');) {
      rows.back().push_back(field);
    }
    rows.back().resize(width);  // a last field left empty
  }
  return rows;
}

std::string Row(const std::vector<std::string>& fields) {
  std::string row;
  for (const std::string& f : fields) row += f + " | ";
  return row;
}

TEST_F(DataSourceTest, ConnectionsAreNewOpenAndIsolated) {
  CreateDb();
  const std::string trace = path_ + ".trace";
  SetTraceFile(trace);
  auto ds = Source("SQLite");
  auto a = ds->Connection();
  auto b = ds->Connection();
  ds->UnCommittedConnection()->Close();
  SetTraceFile("");
  const std::vector<std::string> lines = test::golden::FileLines(trace);
  std::remove(trace.c_str());
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(),
            R"({"text": "SET TRANSACTION ISOLATION LEVEL READ UnCOMMITTED", )"
            R"("params": []})");

  ASSERT_NE(a, b);
  EXPECT_EQ(a->CursorLocation(), ado::kUseClient);
  EXPECT_EQ(a->CommandTimeout(), 0);
  a->Close();
  EXPECT_EQ(b->State(), ado::kStateOpen);
  auto rs = b->Execute("SELECT COUNT(*) AS N FROM t_SupportedProc");
  EXPECT_EQ(rs->Fields(0).Value().ToInt32(), 2);
  // Open failures reach the caller unchanged.
  EXPECT_NE(ErrorOf([&] { Source("NoSuchProvider")->Connection(); }), 0);
}

// The rows of tests/golden/data/capabilities.tsv (its header tells the
// format); the masks not changed there and the procedure list stay.
TEST_F(DataSourceTest, CapabilitiesFollowProviderProperties) {
  CreateDb();
  int n = 0;
  for (const std::vector<std::string>& f : Table("capabilities.tsv", 6)) {
    auto props = FullProperties();
    std::stringstream changes(f[0] == "-" ? "" : f[0]);
    for (std::string change; std::getline(changes, change, ';');) {
      const std::string key = change.substr(0, change.find('='));
      const std::string value = change.substr(key.size() + 1);
      value == "<absent>"
          ? void(props.erase(key))
          : void(props[key] = value == "<null>" ? Variant::Null()
                                                : Variant::Text(value));
    }
    SetProbeProperties(props);
    name_ = std::string("Capabilities") + std::to_string(++n);
    auto ds = Source();
    EXPECT_EQ(
        Row({f[0], ds->DBMSVersion(), std::to_string(ds->MultipleResults()),
             std::to_string(ds->LikeEscapeClause()), std::to_string(ds->IEF()),
             std::to_string(ds->NumericFunctions())}),
        Row(f));
    EXPECT_EQ(ds->StringFunctions(), 0x1FFFFF) << f[0];
    EXPECT_EQ(ds->DateTimeFunctions(), 0x1FFFF) << f[0];
    EXPECT_TRUE(ds->ProcSupported("sp_CloseMonth")) << f[0];
    EXPECT_FALSE(ds->ProcSupported("sp_Close")) << f[0];
  }
  EXPECT_EQ(n, 4);
}

TEST_F(DataSourceTest, RealProviderDescribesItself) {
  CreateDb();
  auto ds = Source("SQLite", "SQLite");
  auto cn = ds->Connection();
  cn->RefreshProperties();
  // The function masks, computed only when first read: listed like the
  // others, and the data source's copies are the connection's values.
  const std::pair<const char*, int32_t (CDataSource::*)()> masks[] = {
      {"Numeric Functions", &CDataSource::NumericFunctions},
      {"String Functions", &CDataSource::StringFunctions},
      {"System Functions", &CDataSource::SystemFunctions},
      {"Time/Date Functions", &CDataSource::DateTimeFunctions}};
  for (const auto& [name, getter] : masks) {
    EXPECT_TRUE(cn->HasProperty(name)) << name;
    EXPECT_EQ(((*ds).*getter)(), cn->Property(name).AsI4()) << name;
  }
  EXPECT_EQ(ds->DBMSVersion(), cn->Property("DBMS Version").ToText());
  EXPECT_TRUE(ds->LikeEscapeClause());  // SQLite's is "Y"
}

// A connection asks its provider for the properties at their first use,
// once, and again on Refresh; a closed one has none.
TEST_F(DataSourceTest, ConnectionReadsPropertiesWhenFirstUsed) {
  CreateDb();
  auto cn = Source()->Connection();
  const int lists = Probe().property_lists;
  SetProbeProperties({{"DBMS Name", Variant::Text("Later")}});
  EXPECT_EQ(cn->Property("dbms name").ToText(), "Later");
  EXPECT_FALSE(cn->HasProperty("DBMS Version"));
  EXPECT_EQ(ErrorOf([&] { cn->Property("DBMS Version"); }), 3265);
  EXPECT_EQ(Probe().property_lists - lists, 1);
  SetProbeProperties(FullProperties());
  cn->RefreshProperties();
  EXPECT_EQ(cn->Property("DBMS Version").ToText(), "1.0");
  EXPECT_EQ(Probe().property_lists - lists, 2);
  cn->Close();
  EXPECT_FALSE(cn->HasProperty("DBMS Name"));
  EXPECT_EQ(ErrorOf([&] { cn->Property("DBMS Name"); }), 3265);
  EXPECT_EQ(ErrorOf([&] { cn->RefreshProperties(); }), 3704);
  EXPECT_EQ(Probe().property_lists - lists, 2);
}

TEST_F(DataSourceTest, FailedFillIsRetriedByLaterReaders) {
  AddTable("");  // no type table, no procedure list
  auto ds = Source();
  const int opens = Probe().opens;
  EXPECT_EQ(ErrorOf([&] { ds->ProcSupported("sp_Archive"); }), err::kDbNoTable);
  EXPECT_EQ(ds->DBMSVersion(), "");
  EXPECT_FALSE(ds->LikeEscapeClause());
  EXPECT_FALSE(ds->IEF());
  EXPECT_EQ(ds->NumericFunctions(), 0);
  EXPECT_EQ(Probe().opens - opens, 5) << "every reader tries the fill again";
  EXPECT_EQ(ErrorOf([&] { ds->GetBindType(3); }), err::kDbNoTable);

  AddTable(kSupportedProc);
  AddTable(kDataTypeInfo);
  auto later = Source();
  EXPECT_TRUE(later->ProcSupported("SP_ARCHIVE"));
  EXPECT_EQ(later->DBMSVersion(), "1.0");
  EXPECT_EQ(later->GetBindType(128), 204);
  const int filled = Probe().opens;
  EXPECT_TRUE(ds->LikeEscapeClause());
  EXPECT_EQ(ds->GetBindType(3), 3);
  EXPECT_EQ(Probe().opens, filled);
}

// The cases of tests/golden/data/type_names.tsv (its header tells the
// format).
TEST_F(DataSourceTest, TypeNames) {
  CreateDb();
  auto ds = Source();
  int n = 0;
  for (const std::vector<std::string>& f : Table("type_names.tsv", 9)) {
    int32_t precision = std::stoi(f[1]), scale = std::stoi(f[2]);
    int32_t out[3] = {-99, -99, -99};  // actual type, size, bind type
    std::vector<std::string> got = {f[0], f[1], f[2]};
    got.push_back(ds->GetTypeName(std::stoi(f[0]), &precision, &scale, &out[0],
                                  &out[1], &out[2]));
    got.push_back(std::to_string(precision));
    got.push_back(std::to_string(scale));
    for (int32_t v : out) got.push_back(v == -99 ? "-" : std::to_string(v));
    EXPECT_EQ(Row(got), Row(f));
    ++n;
  }
  EXPECT_EQ(ds->GetTypeName(131), "decimal(0,0)");

  for (const std::vector<std::string>& f : Table("actual_types.tsv", 8)) {
    int32_t precision = std::stoi(f[1]), scale = std::stoi(f[2]);
    int32_t out[2] = {-99, -99};  // size, bind type
    std::vector<std::string> got = {f[0], f[1], f[2]};
    got.push_back(std::to_string(ds->GetActualType(std::stoi(f[0]), &precision,
                                                   &scale, &out[0], &out[1])));
    got.push_back(std::to_string(precision));
    got.push_back(std::to_string(scale));
    for (int32_t v : out) got.push_back(v == -99 ? "-" : std::to_string(v));
    EXPECT_EQ(Row(got), Row(f));
    ++n;
  }
  EXPECT_EQ(n, 13);
  EXPECT_EQ(ds->GetBindType(128), 204);
  EXPECT_EQ(ErrorOf([&] { ds->GetTypeName(72); }), err::kInvalidUseOfNull);
  EXPECT_EQ(ErrorOf([&] { ds->GetTypeName(11); }), err::kInvalidUseOfNull);
  EXPECT_NE(ErrorOf([&] { ds->GetBindType(999); }), 0);
}

TEST_F(DataSourceTest, OracleOnlyByExactName) {
  for (const char* name : {"Oracle", "oracle", "ORACLE", "Oracle8"}) {
    auto p = std::make_shared<CParse>();
    p->ParseString(std::string("DBMS Name=") + name);
    CDataSource ds;
    ds.SetParseObject(p);
    EXPECT_EQ(ds.IsOracle(), name == std::string("Oracle")) << name;
  }
  EXPECT_EQ(ErrorOf([] { CDataSource().IsOracle(); }), err::kObjectNotSet);
}

TEST_F(DataSourceTest, ThreadsAndLaterCallersReadOneCache) {
  CreateDb();
  constexpr int kThreads = 8;
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      try {
        auto ds = Source();
        for (int i = 0; i < 50; ++i) {
          int32_t precision = 10 + t, scale = 20;
          bool ok = ds->GetTypeName(131, &precision, &scale) ==
                        "decimal(" + std::to_string(10 + t) + ",10)" &&
                    ds->ProcSupported("sp_Archive") && ds->LikeEscapeClause() &&
                    ds->GetBindType(200) == 200 && ds->DBMSVersion() == "1.0";
          if (!ok) ++failures;
        }
      } catch (const Error& e) {
        ADD_FAILURE() << e.what();
        ++failures;
      }
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(failures, 0);
  // A later caller does not touch the database.
  EXPECT_EQ(Source()->SystemFunctions(), 7);  // the masks are read on demand
  const int opens = Probe().opens, runs = Probe().runs;
  const int64_t statements = StatementsRun();
  auto second = Source();
  EXPECT_EQ(second->DBMSVersion(), "1.0");
  EXPECT_TRUE(second->LikeEscapeClause());
  EXPECT_TRUE(second->IEF());
  EXPECT_EQ(second->SystemFunctions(), 7);
  EXPECT_TRUE(second->ProcSupported("sp_Archive"));
  EXPECT_EQ(second->GetTypeName(202, nullptr), "nvarchar(0)");
  EXPECT_EQ(second->GetActualType(131), 5);
  EXPECT_EQ(second->GetBindType(3), 3);
  EXPECT_EQ(Probe().opens, opens);
  EXPECT_EQ(Probe().runs, runs);
  EXPECT_EQ(StatementsRun(), statements);
  // Another version text is another cache: it reads the database again.
  name_ += "b";
  EXPECT_EQ(Source()->DBMSVersion(), "1.0");
  EXPECT_EQ(Probe().opens, opens + 1);
}

// A transaction that holds the database write lock and needs the cache must
// not wait for another transaction's fill that waits for that same lock.
TEST_F(DataSourceTest, FillDoesNotStallAnotherTransaction) {
  CreateDb();
  AddTable("CREATE TABLE t_Log (FText TEXT)");
  std::atomic<bool> writer_done{false};
  std::atomic<int32_t> reader_error{0};
  TransactionScope writer_tx;
  auto writer = Source("SQLite", "SQLite");
  auto cn = writer->Connection();
  cn->Execute("INSERT INTO t_Log (FText) VALUES ('writer')");

  std::thread reader_thread([&] {
    TransactionScope reader_tx;
    auto reader = Source("SQLite", "SQLite");
    reader_error = ErrorOf([&] {
      EXPECT_TRUE(reader->ProcSupported("sp_Archive"));
      EXPECT_EQ(reader->GetBindType(202), 202);
    });
    EXPECT_TRUE(writer_done);  // it had to wait for the writer's commit
    reader_tx.Commit();
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_TRUE(writer->ProcSupported("sp_CloseMonth"));
  EXPECT_EQ(writer->GetBindType(131), 131);
  cn->Close();
  writer_done = true;
  writer_tx.Commit();
  reader_thread.join();
  EXPECT_EQ(reader_error, 0);
}

}  // namespace
}  // namespace marl::data
