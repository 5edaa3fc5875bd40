// Connection strings, the provider registry, and the decorators wrapped
// around every physical connection that OpenPhysical hands out.
//
// Connection strings: "Key=Value;..." pairs; keys are trimmed of blanks and
// compared without regard to case; a value may be enclosed in braces
// ("{a;b}") or double quotes to hold ";"; a key given twice keeps its last
// value; empty segments are skipped.
//
// Tracing writes one JSON line per text:
//   {"text": "<text>", "params": [<value>, ...]}
// Values: whole numbers and doubles as JSON numbers (shortest form that
// reads back exactly; not-a-number and infinities as null), currency as a
// decimal number, Booleans as true/false, dates as their canonical text in a
// string, text as a string, byte arrays as a hexadecimal string, empty, null
// and missing as null. Each line is appended with one write() to a file
// opened in append mode and closed again, so several processes can trace to
// one file.
#include "data/provider.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string_view>
#include <utility>

#include "marlcheckout/error.h"

namespace marl::data {
namespace {

std::string Lower(std::string s) {
  for (char& c : s)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
    s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
    s.remove_suffix(1);
  return s;
}

// ---------------------------------------------------------------------------
// Process-wide state.

struct State {
  std::mutex mu;
  std::map<std::string, std::shared_ptr<Provider>> providers;  // lower name
  std::string trace_file;
  FaultPlan fault;
  int64_t fault_seen = 0;
  std::function<void(int64_t)> wait_notice;
};

State& GlobalState() {
  static State* state = new State();  // never destroyed: used at exit
  return *state;
}

std::atomic<bool> g_tracing{false};
std::atomic<bool> g_fault_armed{false};
std::atomic<int64_t> g_statements{0};
std::atomic<int64_t> g_records_affected{0};

ResultSet Counted(ResultSet result) {
  if (result.records_affected > 0)
    g_records_affected += result.records_affected;
  return result;
}

// Reads MARL_TRACE_SQL, once.
void EnsureInitialised() {
  static std::once_flag once;
  std::call_once(once, [] {
    State& s = GlobalState();
    std::lock_guard<std::mutex> lock(s.mu);
    const char* env = std::getenv("MARL_TRACE_SQL");
    if (env != nullptr && *env != '\0') {
      s.trace_file = env;
      g_tracing = true;
    }
  });
}

// ---------------------------------------------------------------------------
// JSON.

void AppendJsonString(std::string& out, std::string_view s) {
  static const char kHex[] = "0123456789abcdef";
  out.push_back('"');
  size_t i = 0;
  while (i < s.size()) {
    auto c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) {
      switch (c) {
        case '"':
          out += "\\\"";
          break;
        case '\\':
          out += "\\\\";
          break;
        case '\n':
          out += "\\n";
          break;
        case '\r':
          out += "\\r";
          break;
        case '\t':
          out += "\\t";
          break;
        default:
          if (c < 0x20) {
            out += "\\u00";
            out.push_back(kHex[c >> 4]);
            out.push_back(kHex[c & 0xf]);
          } else {
            out.push_back(static_cast<char>(c));
          }
      }
      ++i;
      continue;
    }
    // A well-formed UTF-8 sequence passes through; anything else becomes
    // U+FFFD so that the line stays valid JSON.
    size_t len = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 ? 2 : 0;
    bool ok = len > 0 && c <= 0xF4 && i + len <= s.size();
    for (size_t k = 1; ok && k < len; ++k) {
      ok = (static_cast<unsigned char>(s[i + k]) & 0xC0) == 0x80;
    }
    if (ok && len == 3) {
      auto c1 = static_cast<unsigned char>(s[i + 1]);
      ok = !(c == 0xE0 && c1 < 0xA0) && !(c == 0xED && c1 >= 0xA0);
    } else if (ok && len == 4) {
      auto c1 = static_cast<unsigned char>(s[i + 1]);
      ok = !(c == 0xF0 && c1 < 0x90) && !(c == 0xF4 && c1 >= 0x90);
    }
    if (ok) {
      out.append(s.substr(i, len));
      i += len;
    } else {
      out += "\\ufffd";
      ++i;
    }
  }
  out.push_back('"');
}

// Shortest text that reads back as the same float or double.
template <class T>
void AppendJsonNumber(std::string& out, T v) {
  if (!std::isfinite(v)) {
    out += "null";
    return;
  }
  char buf[64];
  auto [ptr, ec] = std::to_chars(buf, buf + sizeof buf, v);
  out.append(buf, ptr);
}

void AppendJsonValue(std::string& out, const Variant& v) {
  switch (v.Type()) {
    case VarType::I2:
      out += std::to_string(v.AsI2());
      break;
    case VarType::I4:
      out += std::to_string(v.AsI4());
      break;
    case VarType::Byte:
      out += std::to_string(v.AsByte());
      break;
    case VarType::R4:
      AppendJsonNumber(out, v.AsR4());
      break;
    case VarType::R8:
      AppendJsonNumber(out, v.AsR8());
      break;
    case VarType::Currency: {
      int64_t scaled = v.AsCurrencyScaled();
      uint64_t mag = scaled < 0 ? 0 - static_cast<uint64_t>(scaled)
                                : static_cast<uint64_t>(scaled);
      if (scaled < 0) out.push_back('-');
      out += std::to_string(mag / 10000);
      std::string frac = std::to_string(10000 + mag % 10000).substr(1);
      while (!frac.empty() && frac.back() == '0') frac.pop_back();
      if (!frac.empty()) out += "." + frac;
      break;
    }
    case VarType::Bool:
      out += v.AsBool() ? "true" : "false";
      break;
    case VarType::Date:
      AppendJsonString(out, Variant::FormatDate(v.AsDate()));
      break;
    case VarType::Text:
      AppendJsonString(out, v.AsText());
      break;
    case VarType::ByteArray: {
      static const char kHex[] = "0123456789abcdef";
      std::string hex;
      for (uint8_t b : v.AsBytes()) {
        hex.push_back(kHex[b >> 4]);
        hex.push_back(kHex[b & 0xf]);
      }
      AppendJsonString(out, hex);
      break;
    }
    case VarType::Empty:
    case VarType::Null:
    case VarType::Missing:
    case VarType::Object:
      out += "null";
      break;
  }
}

std::string TraceLine(const std::string& text,
                      const std::vector<BoundParam>& params) {
  std::string line = "{\"text\": ";
  AppendJsonString(line, text);
  line += ", \"params\": [";
  for (size_t i = 0; i < params.size(); ++i) {
    if (i > 0) line += ", ";
    AppendJsonValue(line, params[i].value);
  }
  line += "]}\n";
  return line;
}

void AppendTrace(const std::string& text,
                 const std::vector<BoundParam>& params) {
  std::string file = TraceFile();
  if (file.empty()) return;
  std::string line = TraceLine(text, params);
  static std::mutex write_mu;
  std::lock_guard<std::mutex> lock(write_mu);
  int fd =
      ::open(file.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) {
    static std::once_flag warned;
    std::call_once(warned, [&file] {
      std::fprintf(stderr, "marlcheckout: cannot open SQL trace file %s\n",
                   file.c_str());
    });
    return;
  }
  const char* p = line.data();
  size_t left = line.size();
  while (left > 0) {
    ssize_t n = ::write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      break;
    }
    p += n;
    left -= static_cast<size_t>(n);
  }
  ::close(fd);
}

// ---------------------------------------------------------------------------
// Provider choice.

bool StartsWith(const std::string& s, std::string_view prefix) {
  return s.compare(0, prefix.size(), prefix) == 0;
}

// "Key=value;" for an ODBC connection string; a value that would break the
// string goes in braces, a closing brace in it doubled.
void AppendOdbcPair(std::string& out, std::string_view key,
                    std::string_view value) {
  out.append(key);
  out.push_back('=');
  const bool braces =
      value.find_first_of(";{}=") != std::string_view::npos ||
      (!value.empty() && (value.front() == ' ' || value.back() == ' '));
  if (!braces) {
    out.append(value);
  } else {
    out.push_back('{');
    for (char c : value) {
      out.push_back(c);
      if (c == '}') out.push_back('}');
    }
    out.push_back('}');
  }
  out.push_back(';');
}

// An OLE DB connection string for SQL Server as FreeTDS keys.
std::string FreeTdsString(const ConnectionParams& params) {
  std::string server = params.Get("data source");
  if (server.empty()) server = params.Get("server");
  if (StartsWith(Lower(server), "tcp:")) server.erase(0, 4);
  std::string port;
  if (size_t comma = server.find(','); comma != std::string::npos) {
    port = std::string(Trim(std::string_view(server).substr(comma + 1)));
    server = std::string(Trim(std::string_view(server).substr(0, comma)));
  }
  if (server.empty()) {
    throw Error(err::kDbFail, "ADODB.Connection",
                "The SQL Server connection string names no Data Source");
  }
  std::string out;
  AppendOdbcPair(out, "Driver", "FreeTDS");
  AppendOdbcPair(out, "Server", server);
  if (!port.empty()) AppendOdbcPair(out, "Port", port);
  const std::pair<const char*, const char*> kKeys[] = {
      {"initial catalog", "Database"},
      {"user id", "UID"},
      {"password", "PWD"},
      {"connect timeout", "LoginTimeout"},
  };
  for (const auto& [from, to] : kKeys) {
    auto it = params.values.find(from);
    if (it != params.values.end()) AppendOdbcPair(out, to, it->second);
  }
  AppendOdbcPair(out, "TDS_Version", "7.4");
  AppendOdbcPair(out, "ClientCharset", "UTF-8");
  out.pop_back();  // the last ";"
  return out;
}

// The fault plan's view of the text the thread is running: whether its
// statements count (see FaultPlan), and whether the thread is exempt.
thread_local bool t_fault_exempt = false;
thread_local bool t_text_counted = false;

class CountedText {
 public:
  explicit CountedText(const std::string& text) : previous_(t_text_counted) {
    t_text_counted = false;
    if (!g_fault_armed || t_fault_exempt) return;
    State& s = GlobalState();
    std::lock_guard<std::mutex> lock(s.mu);
    t_text_counted =
        s.fault.nth > 0 && (s.fault.match.empty() ||
                            text.find(s.fault.match) != std::string::npos);
  }
  ~CountedText() { t_text_counted = previous_; }
  CountedText(const CountedText&) = delete;
  CountedText& operator=(const CountedText&) = delete;

 private:
  bool previous_;
};

// The connections kept by the reuse scopes of this thread, each with the
// connection string it was opened with.
struct KeptConnection {
  std::string connection_string;
  std::unique_ptr<PhysicalConnection> connection;
};
struct ReuseState {
  int depth = 0;
  std::vector<KeptConnection> kept;
};
thread_local ReuseState t_reuse;

// A kept connection of `connection_string` that Reopen accepts (the others
// of that string are closed), or null.
std::unique_ptr<PhysicalConnection> TakeKept(
    const std::string& connection_string) {
  std::vector<KeptConnection>& kept = t_reuse.kept;
  for (size_t i = kept.size(); i-- > 0;) {
    if (kept[i].connection_string != connection_string) continue;
    std::unique_ptr<PhysicalConnection> c = std::move(kept[i].connection);
    kept.erase(kept.begin() + static_cast<std::ptrdiff_t>(i));
    bool usable = false;
    try {
      usable = c->Reopen();
    } catch (...) {
      usable = false;
    }
    if (usable) return c;
  }
  return nullptr;
}

// The decorator every physical connection is wrapped in: counts, traces and
// (for tests) marks the texts whose statements the fault plan counts, and
// adds up the
// records they affected. Native scripts pass straight through. Let go inside
// a reuse scope, it hands a connection that is ready for reuse to the scope.
class InstrumentedConnection final : public PhysicalConnection {
 public:
  InstrumentedConnection(std::unique_ptr<PhysicalConnection> inner,
                         std::string connection_string)
      : inner_(std::move(inner)),
        connection_string_(std::move(connection_string)) {}

  ~InstrumentedConnection() override {
    if (t_reuse.depth == 0 || t_reuse.kept.size() >= kMaxKeptConnections) {
      return;
    }
    try {
      if (inner_->ReadyForReuse()) {
        t_reuse.kept.push_back(
            KeptConnection{std::move(connection_string_), std::move(inner_)});
      }
    } catch (...) {
      // Not kept: the connection closes as it would outside a scope.
    }
  }
  InstrumentedConnection(const InstrumentedConnection&) = delete;
  InstrumentedConnection& operator=(const InstrumentedConnection&) = delete;

  void Begin(bool for_write) override { inner_->Begin(for_write); }
  void Commit() override { inner_->Commit(); }
  void Rollback() override { inner_->Rollback(); }
  bool InTransaction() const override { return inner_->InTransaction(); }

  ResultSet Run(const std::string& text,
                const std::vector<BoundParam>& params) override {
    ++g_statements;
    if (g_tracing) AppendTrace(text, params);
    CountedText counted(text);
    return Counted(inner_->Run(text, params));
  }

  ResultSet RunReadOnly(const std::string& text,
                        const std::vector<BoundParam>& params) override {
    ++g_statements;
    if (g_tracing) AppendTrace(text, params);
    CountedText counted(text);
    return Counted(inner_->RunReadOnly(text, params));
  }

  void RunNativeScript(const std::string& script) override {
    inner_->RunNativeScript(script);
  }

  std::map<std::string, Variant> Properties() override {
    return inner_->Properties();
  }
  std::vector<std::string> DeferredPropertyNames() const override {
    return inner_->DeferredPropertyNames();
  }
  Variant DeferredProperty(const std::string& name) override {
    return inner_->DeferredProperty(name);
  }
  std::string ProviderName() const override { return inner_->ProviderName(); }

 private:
  std::unique_ptr<PhysicalConnection> inner_;
  std::string connection_string_;  // as OpenPhysical was given it
};

}  // namespace

namespace {

// The kind CoerceParam converts a value of `ado_type` to; Empty when the
// value is bound as given.
VarType CoercedKind(int32_t ado_type) {
  switch (ado_type) {
    case 2:   // adSmallInt
    case 16:  // adTinyInt
      return VarType::I2;
    case 3:  // adInteger
      return VarType::I4;
    case 4:  // adSingle
      return VarType::R4;
    case 5:    // adDouble
    case 14:   // adDecimal
    case 131:  // adNumeric
    case 20:   // adBigInt (no 64-bit kind: carried as a double)
      return VarType::R8;
    case 6:
      return VarType::Currency;
    case 7:
    case 133:
    case 135:
      return VarType::Date;
    case 11:
      return VarType::Bool;
    case 17:  // adUnsignedTinyInt
      return VarType::Byte;
    case 129:
    case 130:
    case 200:
    case 201:
    case 202:
    case 203:
      return VarType::Text;
    default:
      return VarType::Empty;  // bound as given
  }
}

// Whether CoerceParam hands `v` on as it is for a parameter of `ado_type`.
bool KeptAsGiven(const Variant& v, int32_t ado_type) {
  if (v.IsEmpty() || v.IsNull() || v.IsMissing()) return true;
  const VarType target = CoercedKind(ado_type);
  return target == VarType::Empty || target == v.Type() ||
         v.Type() == VarType::ByteArray || v.Type() == VarType::Object;
}

}  // namespace

Variant CoerceParam(const BoundParam& p) {
  Variant out;
  CoerceParamInto(p, out);
  return out;
}

void CoerceParamInto(const BoundParam& p, Variant& out) {
  if (KeptAsGiven(p.value, p.ado_type)) {
    out = p.value;
  } else {
    out = p.value.ChangeType(CoercedKind(p.ado_type));
  }
}

ProviderChoice ChooseProvider(const std::string& connection_string) {
  ConnectionParams params = ConnectionParams::Parse(connection_string);
  const std::string provider = params.Get("provider");
  const std::string lower = Lower(provider);
  if (StartsWith(lower, "sqloledb") || StartsWith(lower, "sqlncli") ||
      StartsWith(lower, "msoledbsql")) {
    return {kOdbcProvider, FreeTdsString(params)};
  }
  if (StartsWith(lower, "msdasql")) {
    std::string rest;
    for (const auto& [key, value] : params.values) {
      if (key != "provider") AppendOdbcPair(rest, key, value);
    }
    if (!rest.empty()) rest.pop_back();
    return {kOdbcProvider, rest};
  }
  if (provider.empty() &&
      (params.values.count("driver") > 0 || params.values.count("dsn") > 0)) {
    return {kOdbcProvider, connection_string};
  }
  return {provider, connection_string};
}

ResultSet PhysicalConnection::RunReadOnly(
    const std::string& /*text*/, const std::vector<BoundParam>& /*params*/) {
  throw Error(err::kDbFail, ProviderName(),
              "This provider cannot run a command as read-only");
}

void PhysicalConnection::RunNativeScript(const std::string& /*script*/) {
  throw Error(err::kDbFail, ProviderName(),
              "This provider cannot run a script in the database's own "
              "dialect");
}

std::string ConnectionParams::Get(const std::string& lower_key,
                                  const std::string& fallback) const {
  auto it = values.find(lower_key);
  return it == values.end() ? fallback : it->second;
}

ConnectionParams ConnectionParams::Parse(const std::string& connection_string) {
  ConnectionParams p;
  p.text = connection_string;
  std::string_view s = connection_string;
  size_t i = 0;
  while (i < s.size()) {
    size_t eq = s.find('=', i);
    size_t semi = s.find(';', i);
    if (eq == std::string_view::npos ||
        (semi != std::string_view::npos && semi < eq)) {
      // A segment without "=" carries no value: skip it.
      if (semi == std::string_view::npos) break;
      i = semi + 1;
      continue;
    }
    std::string key = Lower(std::string(Trim(s.substr(i, eq - i))));
    size_t v = eq + 1;
    while (v < s.size() && (s[v] == ' ' || s[v] == '\t')) ++v;
    std::string value;
    size_t next;
    char open = v < s.size() ? s[v] : '\0';
    char close = open == '{' ? '}' : open == '"' ? '"' : '\0';
    size_t end = close ? s.find(close, v + 1) : std::string_view::npos;
    if (close && end != std::string_view::npos) {
      value = std::string(s.substr(v + 1, end - v - 1));
      next = s.find(';', end + 1);
    } else {
      next = s.find(';', v);
      value = std::string(Trim(
          s.substr(v, (next == std::string_view::npos ? s.size() : next) - v)));
    }
    if (!key.empty()) p.values[key] = value;
    if (next == std::string_view::npos) break;
    i = next + 1;
  }
  return p;
}

void RegisterProvider(std::shared_ptr<Provider> provider) {
  State& s = GlobalState();
  std::lock_guard<std::mutex> lock(s.mu);
  std::string name = Lower(provider->Name());
  s.providers[name] = std::move(provider);
}

bool HasProvider(const std::string& name) {
  State& s = GlobalState();
  std::lock_guard<std::mutex> lock(s.mu);
  return s.providers.count(Lower(name)) > 0;
}

std::unique_ptr<PhysicalConnection> OpenPhysical(
    const std::string& connection_string) {
  EnsureInitialised();
  if (t_reuse.depth > 0) {
    if (std::unique_ptr<PhysicalConnection> kept =
            TakeKept(connection_string)) {
      return std::make_unique<InstrumentedConnection>(std::move(kept),
                                                      connection_string);
    }
  }
  ProviderChoice choice = ChooseProvider(connection_string);
  const std::string& name = choice.provider;
  std::shared_ptr<Provider> provider;
  {
    State& s = GlobalState();
    std::lock_guard<std::mutex> lock(s.mu);
    auto it = s.providers.find(Lower(name));
    if (it != s.providers.end()) provider = it->second;
  }
  if (!provider) {
    throw Error(err::kDbFail, "ADODB.Connection",
                "Provider '" + name + "' is not available");
  }
  return std::make_unique<InstrumentedConnection>(
      provider->Open(ConnectionParams::Parse(choice.connection_string)),
      connection_string);
}

ConnectionReuseScope::ConnectionReuseScope() { ++t_reuse.depth; }

ConnectionReuseScope::~ConnectionReuseScope() {
  if (--t_reuse.depth > 0) return;
  // Closed outside the list: a connection's close does not come back here.
  std::vector<KeptConnection> kept;
  kept.swap(t_reuse.kept);
}

size_t KeptConnections() { return t_reuse.kept.size(); }

void SetTraceFile(const std::string& file) {
  EnsureInitialised();
  State& s = GlobalState();
  std::lock_guard<std::mutex> lock(s.mu);
  s.trace_file = file;
  g_tracing = !file.empty();
}

std::string TraceFile() {
  EnsureInitialised();
  State& s = GlobalState();
  std::lock_guard<std::mutex> lock(s.mu);
  return s.trace_file;
}

void SetFaultPlan(const FaultPlan& plan) {
  State& s = GlobalState();
  std::lock_guard<std::mutex> lock(s.mu);
  s.fault = plan.nth > 0 ? plan : FaultPlan{};
  s.fault_seen = 0;
  g_fault_armed = plan.nth > 0;
}

int64_t FaultStatementsSeen() {
  State& s = GlobalState();
  std::lock_guard<std::mutex> lock(s.mu);
  return s.fault_seen;
}

FaultExempt::FaultExempt() : previous_(t_fault_exempt) {
  t_fault_exempt = true;
}

FaultExempt::~FaultExempt() { t_fault_exempt = previous_; }

void FaultPoint() {
  if (!t_text_counted || t_fault_exempt || !g_fault_armed) return;
  State& s = GlobalState();
  std::unique_lock<std::mutex> lock(s.mu);
  if (s.fault.nth <= 0) return;
  if (++s.fault_seen < s.fault.nth) return;
  Error error(s.fault.number, "FaultInjection", s.fault.description);
  s.fault = FaultPlan{};
  g_fault_armed = false;
  throw error;
}

void NotifyWaiting(int64_t timeout_ms) {
  std::function<void(int64_t)> notice;
  {
    State& s = GlobalState();
    std::lock_guard<std::mutex> lock(s.mu);
    notice = s.wait_notice;
  }
  if (notice) notice(timeout_ms);
}

void SetWaitNotice(std::function<void(int64_t timeout_ms)> notice) {
  State& s = GlobalState();
  std::lock_guard<std::mutex> lock(s.mu);
  s.wait_notice = std::move(notice);
}

int64_t StatementsRun() { return g_statements.load(); }

int64_t RecordsAffected() { return g_records_affected.load(); }

}  // namespace marl::data
