#include "data/data_source.h"

#include <iterator>
#include <string_view>
#include <utility>
#include <vector>

#include "marlcheckout/error.h"

namespace marl::data {

namespace {

constexpr char kReadCommitted[] =
    "SET TRANSACTION ISOLATION LEVEL READ COMMITTED";
constexpr char kReadUncommitted[] =
    "SET TRANSACTION ISOLATION LEVEL READ UnCOMMITTED";
constexpr char kSupportedProcSql[] = "SELECT FProcName FROM t_SupportedProc";
constexpr char kDataTypeInfoSql[] = "select * from t_DataTypeInfo";
// Named property of the "DataTypeInfo" group (its rows are numbered
// properties, a separate set): true once every row is stored.
constexpr char kFilled[] = "Filled";

// Isolation mode 0: each get and set is locked; release mode 1: the group
// lives until the process ends.
constexpr int32_t kIsolationLockSetGet = 0;
constexpr int32_t kReleaseProcess = 1;

// How a provider property is turned into the cached value.
enum class Rule {
  kText,       // text; "" when null or nothing
  kOrFalse,    // the provider's value; false when null or nothing
  kYesFlag,    // true when the value is exactly "Y"
  kAsItComes,  // the provider's value, unchanged (Empty when unreadable)
};

// A deferred property is read from the provider, with the other deferred
// ones, the first time it is asked for (the SQLite function masks cost 72
// statement compilations, and most processes never read them).
struct CachedProperty {
  const char* name;      // property of the "DataSource" group
  const char* provider;  // the provider property it is read from
  Rule rule;
  bool deferred = false;
};

constexpr CachedProperty kCachedProperties[] = {
    {"DBMSName", "DBMS Name", Rule::kText},
    {"DBMSVersion", "DBMS Version", Rule::kText},
    {"MultipleResults", "Multiple Results", Rule::kOrFalse},
    {"LikeEscapeClause", "Like Escape Clause", Rule::kYesFlag},
    {"IEF", "Integrity Enhancement Facility", Rule::kOrFalse},
    {"NumericFunctions", "Numeric Functions", Rule::kAsItComes, true},
    {"StringFunctions", "String Functions", Rule::kAsItComes, true},
    {"SystemFunctions", "System Functions", Rule::kAsItComes, true},
    {"DateTimeFunctions", "Time/Date Functions", Rule::kAsItComes, true},
};

Variant ApplyRule(Rule rule, const Variant& v) {
  switch (rule) {
    case Rule::kText:
      return Variant::Text(v.IsEmptyOrNull() ? std::string() : v.ToText());
    case Rule::kOrFalse:
      return v.IsEmptyOrNull() ? Variant::Bool(false) : v;
    case Rule::kYesFlag:
      return Variant::Bool(!v.IsEmptyOrNull() && v.ToText() == "Y");
    case Rule::kAsItComes:
      break;
  }
  return v;
}

bool IsTrue(const Variant& v) {
  return v.Type() == VarType::Bool && v.AsBool();
}

// Conversions of a cached value: an empty (or null) value gives "", false, 0.
std::string TextOf(const Variant& v) {
  return v.IsEmptyOrNull() ? std::string() : v.ToText();
}
bool BoolOf(const Variant& v) { return !v.IsEmptyOrNull() && v.ToBool(); }
int32_t Int32Of(const Variant& v) {
  return v.IsEmptyOrNull() ? 0 : v.ToInt32();
}

void CloseQuietly(const std::shared_ptr<AdoConnection>& cn) {
  if (!cn) return;
  try {
    if (cn->State() == ado::kStateOpen) cn->Close();
  } catch (const Error&) {
    // The connection is being released after another failure.
  }
}

// The columns of one t_DataTypeInfo row used by the type name operations.
struct TypeLimits {
  Variant max_precision;
  Variant min_scale;
  Variant max_scale;
  Variant actual_size;
};

TypeLimits LimitsOf(const FieldValueSet& row) {
  return {row.Value("FMaxPrecision"), row.Value("FMinScale"),
          row.Value("FMaxScale"), row.Value("FActualSize")};
}

bool ExceedsMax(const TypeLimits& t, int32_t precision) {
  return !t.max_precision.IsNull() &&
         static_cast<double>(precision) > t.max_precision.ToDouble();
}

void ClampScale(const TypeLimits& t, int32_t* scale) {
  if (!t.max_scale.IsNull() &&
      static_cast<double>(*scale) > t.max_scale.ToDouble()) {
    *scale = t.max_scale.ToInt32();
  }
  if (!t.min_scale.IsNull() &&
      static_cast<double>(*scale) < t.min_scale.ToDouble()) {
    *scale = t.min_scale.ToInt32();
  }
}

// The cached provider properties, in the order of kCachedProperties: those
// deferred or not, as `deferred` says (the others stay Empty). A property
// that cannot be read is left empty and takes the default of its rule.
std::vector<Variant> ReadProperties(AdoConnection& cn, bool deferred) {
  try {
    cn.RefreshProperties();
  } catch (const Error&) {
  }
  std::vector<Variant> values;
  values.reserve(std::size(kCachedProperties));
  for (const CachedProperty& p : kCachedProperties) {
    Variant v;
    if (p.deferred != deferred) {
      values.push_back(v);
      continue;
    }
    try {
      v = cn.Property(p.provider);
    } catch (const Error&) {
      v = Variant();
    }
    try {
      values.push_back(ApplyRule(p.rule, v));
    } catch (const Error&) {
      values.push_back(Variant());
    }
  }
  return values;
}

}  // namespace

const CParse& CDataSource::Parser() const {
  if (!parse_) throw Error::Of(err::kObjectNotSet, "MarlCheckOut");
  return *parse_;
}

std::shared_ptr<AdoConnection> CDataSource::OpenConnection(
    const std::string& isolation) {
  auto cn = AdoConnection::Create();
  cn->Open(Parser().ConStr(), "", "", ado::kOptionUnspecified);
  cn->SetCursorLocation(ado::kUseClient);
  cn->SetCommandTimeout(0);
  cn->Execute(isolation, nullptr, ado::kOptionUnspecified);
  return cn;
}

std::shared_ptr<AdoConnection> CDataSource::UnCommittedConnection() {
  static const std::string isolation = kReadUncommitted;
  return OpenConnection(isolation);
}

std::shared_ptr<AdoConnection> CDataSource::Connection() {
  static const std::string isolation = kReadCommitted;
  return OpenConnection(isolation);
}

std::shared_ptr<SharedPropertyGroup> CDataSource::Group(const char* suffix,
                                                        bool* existed) const {
  const CParse& p = Parser();
  std::string name = p.ConDBMSName() + p.ConDBMSVersion() + suffix;
  return SharedPropertyGroupManager::Instance().CreatePropertyGroup(
      name, kIsolationLockSetGet, kReleaseProcess, existed);
}

bool CDataSource::LoadDataSourceInfo(bool raise) {
  std::shared_ptr<AdoConnection> cn;
  try {
    std::string con_str = Parser().ConStr();
    cn = AdoConnection::Create();
    cn->Open(con_str, "", "", ado::kOptionUnspecified);
    std::shared_ptr<SharedPropertyGroup> group = Group("DataSource");

    std::vector<Variant> values = ReadProperties(*cn, false);

    auto rs = Recordset::Create();
    rs->Open(kSupportedProcSql, cn, ado::kOpenForwardOnly, ado::kLockReadOnly,
             ado::kCmdText);
    auto procs = FieldValueSet::Create();
    while (!rs->Eof()) {
      procs->SetValue(rs->Fields("FProcName").Value().ToText(),
                      Variant::Bool(true));
      rs->MoveNext();
    }
    rs->Close();
    cn->Close();

    // Publish: under the group's lock, unless another reader completed the
    // group meanwhile. "Connected" is written last.
    auto fill_lock = group->FillLock();
    std::shared_ptr<SharedProperty> connected =
        group->CreateProperty("Connected");
    if (!IsTrue(connected->Value())) {
      for (size_t i = 0; i < values.size(); ++i) {
        if (kCachedProperties[i].deferred) continue;
        group->CreateProperty(kCachedProperties[i].name)
            ->SetValue(std::move(values[i]));
      }
      group->CreateProperty("SupportedProc")->SetValue(Variant::Object(procs));
      group->CreateProperty("ConnectString")->SetValue(Variant::Text(con_str));
      connected->SetValue(Variant::Bool(true));
    }
    return true;
  } catch (const Error&) {
    CloseQuietly(cn);
    if (raise) throw;
    return false;
  }
}

Variant CDataSource::GetDataSourceValue(const std::string& name, bool raise) {
  std::shared_ptr<SharedPropertyGroup> group = Group("DataSource");
  if (!IsTrue(group->CreateProperty("Connected")->Value()) &&
      !LoadDataSourceInfo(raise)) {
    return Variant();
  }
  for (const CachedProperty& p : kCachedProperties) {
    if (p.deferred && name == p.name &&
        !IsTrue(group->CreateProperty("DeferredLoaded")->Value()) &&
        !LoadDeferredInfo(raise)) {
      return Variant();
    }
  }
  return group->Property(name)->Value();
}

bool CDataSource::LoadDeferredInfo(bool raise) {
  std::shared_ptr<AdoConnection> cn;
  try {
    cn = AdoConnection::Create();
    cn->Open(Parser().ConStr(), "", "", ado::kOptionUnspecified);
    std::vector<Variant> values = ReadProperties(*cn, true);
    cn->Close();
    std::shared_ptr<SharedPropertyGroup> group = Group("DataSource");
    auto fill_lock = group->FillLock();
    std::shared_ptr<SharedProperty> loaded =
        group->CreateProperty("DeferredLoaded");
    if (!IsTrue(loaded->Value())) {
      for (size_t i = 0; i < values.size(); ++i) {
        if (!kCachedProperties[i].deferred) continue;
        group->CreateProperty(kCachedProperties[i].name)
            ->SetValue(std::move(values[i]));
      }
      loaded->SetValue(Variant::Bool(true));
    }
    return true;
  } catch (const Error&) {
    CloseQuietly(cn);
    if (raise) throw;
    return false;
  }
}

std::string CDataSource::ConnectString() const { return Parser().ConStr(); }

std::string CDataSource::DBMSName() const { return Parser().ConDBMSName(); }

std::string CDataSource::DBMSVersion() {
  return TextOf(GetDataSourceValue("DBMSVersion", false));
}

bool CDataSource::MultipleResults() {
  return BoolOf(GetDataSourceValue("MultipleResults", false));
}

bool CDataSource::LikeEscapeClause() {
  return BoolOf(GetDataSourceValue("LikeEscapeClause", false));
}

bool CDataSource::IEF() { return BoolOf(GetDataSourceValue("IEF", false)); }

int32_t CDataSource::NumericFunctions() {
  return Int32Of(GetDataSourceValue("NumericFunctions", false));
}

int32_t CDataSource::StringFunctions() {
  return Int32Of(GetDataSourceValue("StringFunctions", false));
}

int32_t CDataSource::SystemFunctions() {
  return Int32Of(GetDataSourceValue("SystemFunctions", false));
}

int32_t CDataSource::DateTimeFunctions() {
  return Int32Of(GetDataSourceValue("DateTimeFunctions", false));
}

bool CDataSource::ProcSupported(const std::string& proc_name) {
  Variant v = GetDataSourceValue("SupportedProc", true);
  std::shared_ptr<FieldValueSet> procs;
  if (v.Type() == VarType::Object) {
    procs = std::dynamic_pointer_cast<FieldValueSet>(v.AsObject());
  }
  if (!procs) throw Error::Of(err::kObjectNotSet, "MarlCheckOut");
  return procs->Exists(proc_name);
}

void CDataSource::LoadDataTypeInfo(SharedPropertyGroup& group) {
  auto rs = Recordset::Create();
  rs->CursorLocation = ado::kUseClient;
  rs->Open(kDataTypeInfoSql, Parser().ConStr(), -1, -1, -1);
  std::vector<std::pair<int32_t, std::shared_ptr<FieldValueSet>>> rows;
  const int32_t n = rs->FieldCount();
  while (!rs->Eof()) {
    int32_t position = rs->Fields("FDataType").Value().ToInt32();
    auto row = FieldValueSet::Create();
    for (int32_t i = 0; i < n; ++i) {
      const Field& f = rs->Fields(i);
      row->SetValue(f.Name(), f.Value());
    }
    rows.emplace_back(position, std::move(row));
    rs->MoveNext();
  }
  rs->Close();

  // Publish: under the group's lock, unless another reader completed the
  // group meanwhile. "Filled" is written last.
  auto fill_lock = group.FillLock();
  std::shared_ptr<SharedProperty> filled = group.CreateProperty(kFilled);
  if (IsTrue(filled->Value())) return;
  for (auto& [position, row] : rows) {
    group.CreatePropertyByPosition(position)->SetValue(Variant::Object(row));
  }
  filled->SetValue(Variant::Bool(true));
}

std::shared_ptr<FieldValueSet> CDataSource::GetDataTypeInfo(int32_t data_type) {
  std::shared_ptr<SharedPropertyGroup> group = Group("DataTypeInfo");
  if (!IsTrue(group->CreateProperty(kFilled)->Value())) {
    LoadDataTypeInfo(*group);
  }
  Variant v = group->PropertyByPosition(data_type)->Value();
  std::shared_ptr<FieldValueSet> row;
  if (v.Type() == VarType::Object) {
    row = std::dynamic_pointer_cast<FieldValueSet>(v.AsObject());
  }
  if (!row) throw Error::Of(err::kObjectNotSet, "MarlCheckOut");
  return row;
}

std::string CDataSource::GetTypeName(int32_t data_type, int32_t* precision,
                                     int32_t* scale, int32_t* actual_type,
                                     int32_t* actual_size, int32_t* bind_type) {
  std::shared_ptr<FieldValueSet> row = GetDataTypeInfo(data_type);
  const TypeLimits t = LimitsOf(*row);
  const std::string type_name = row->Value("FTypeName").ToText();

  int32_t p = precision ? *precision : 0;
  int32_t s = scale ? *scale : 0;
  if (ExceedsMax(t, p)) return std::string();
  ClampScale(t, &s);

  std::string name;
  if (t.max_precision.IsNull()) {
    name = type_name;
    p = 0;
    s = 0;
  } else {
    std::string numbers = std::to_string(p);
    if (!t.max_scale.IsNull()) numbers += "," + std::to_string(s);
    size_t open = type_name.find('(');
    if (open == std::string::npos) {
      name = type_name + "(" + numbers + ")";
    } else {
      size_t close = type_name.find(')');
      if (close == std::string::npos) close = open;
      name = type_name.substr(0, open + 1) + numbers + ")" +
             type_name.substr(close + 1);
    }
  }
  if (precision) *precision = p;
  if (scale) *scale = s;

  const int32_t actual = row->Value("FActualType").ToInt32();
  const int32_t bind = row->Value("FBindType").ToInt32();
  const int32_t size = t.actual_size.IsNull() ? p : t.actual_size.ToInt32();
  if (actual_type) *actual_type = actual;
  if (bind_type) *bind_type = bind;
  if (actual_size) *actual_size = size;
  return name;
}

int32_t CDataSource::GetActualType(int32_t data_type, int32_t* precision,
                                   int32_t* scale, int32_t* actual_size,
                                   int32_t* bind_type) {
  std::shared_ptr<FieldValueSet> row = GetDataTypeInfo(data_type);
  const TypeLimits t = LimitsOf(*row);
  const int32_t p = precision ? *precision : 0;
  int32_t s = scale ? *scale : 0;
  if (ExceedsMax(t, p)) return 0;
  ClampScale(t, &s);
  if (scale) *scale = s;

  const int32_t bind = row->Value("FBindType").ToInt32();
  if (bind_type) *bind_type = bind;
  const int32_t size = t.actual_size.IsNull() ? p : t.actual_size.ToInt32();
  if (actual_size) *actual_size = size;
  return row->Value("FActualType").ToInt32();
}

int32_t CDataSource::GetBindType(int32_t data_type) {
  return GetDataTypeInfo(data_type)->Value("FBindType").ToInt32();
}

bool CDataSource::IsOracle() const { return DBMSName() == "Oracle"; }

}  // namespace marl::data
