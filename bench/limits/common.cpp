// Timing, the company cache, SQLite access, table digests, processes and
// the report of bench_limits.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "limits.h"

extern char** environ;

namespace bench {

namespace fs = std::filesystem;

double NowMs() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) * 1e3 +
         static_cast<double>(ts.tv_nsec) / 1e6;
}

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// ---------------------------------------------------------------------------
// Processes.

double RunProcess(const std::vector<std::string>& argv) {
  std::vector<char*> args;
  for (const std::string& a : argv)
    args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const int rc =
      posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) throw Failure("cannot start " + argv[0]);
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  auto ms_of = [](const timeval& t) {
    return static_cast<double>(t.tv_sec) * 1e3 +
           static_cast<double>(t.tv_usec) / 1e3;
  };
  const double ms = ms_of(usage.ru_utime) + ms_of(usage.ru_stime);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::string line;
    for (const std::string& a : argv) line += a + " ";
    throw Failure("failed: " + line);
  }
  return ms;
}

// ---------------------------------------------------------------------------
// The company cache.

namespace {

// FNV-1a over the files that decide what `init --demo` writes.
std::string SourceKey() {
  uint64_t h = 1469598103934665603ull;
  for (const char* file : {"schema/sqlite/erp.sql", "cli/demo_data.cpp",
                           "cli/demo_data.h", "cli/cmd_init.cpp"}) {
    std::ifstream in(fs::path(MARL_SOURCE_DIR) / file, std::ios::binary);
    if (!in) throw Failure(std::string("source file not found: ") + file);
    std::stringstream s;
    s << in.rdbuf();
    for (unsigned char c : s.str()) {
      h ^= c;
      h *= 1099511628211ull;
    }
  }
  char buf[24];
  std::snprintf(buf, sizeof buf, "%016" PRIx64, h);
  return buf;
}

int PeriodsOf(const std::string& scale) {
  if (scale == "medium") return 36;
  if (scale == "large") return 72;
  if (scale == "tiny") return 3;
  throw Failure("unknown scale " + scale);
}

}  // namespace

Company EnsureCompany(const Settings& settings, const std::string& scale) {
  static const std::string key = SourceKey();
  fs::create_directories(settings.cache_dir);
  Company c;
  c.scale = scale;
  c.periods = PeriodsOf(scale);
  c.path =
      (fs::path(settings.cache_dir) / (scale + "-" + key + ".db")).string();
  if (!fs::exists(c.path)) {
    // Companies of older sources go.
    for (const auto& entry : fs::directory_iterator(settings.cache_dir)) {
      const std::string name = entry.path().filename().string();
      if (name.rfind(scale + "-", 0) == 0) fs::remove(entry.path());
    }
    std::fprintf(stderr, "building the %s company (%d periods) ...\n",
                 scale.c_str(), c.periods);
    const std::string tmp = c.path + ".tmp";
    fs::remove(tmp);
    RunProcess({MARL_CLI_PATH, "init", "--db", tmp, "--demo", "--scale", scale,
                "--seed", "1"});
    fs::rename(tmp, c.path);
  }
  Sqlite db(c.path);
  for (const Row& row :
       db.Rows("SELECT FKey,FValue FROM t_SystemProfile WHERE FCategory='CB' "
               "AND FKey IN ('CurrentYear','CurrentPeriod')")) {
    const int v = std::stoi(
        row[1].type == SQLITE_TEXT ? row[1].text : std::to_string(row[1].i));
    (row[0].text == "CurrentYear" ? c.year : c.period) = v;
  }
  if (c.year == 0 || c.period == 0) {
    throw Failure("no current period in " + c.path);
  }
  c.dept = db.Rows("SELECT MIN(FExpDeptID) FROM CB_CostBalance")[0][0].text;
  return c;
}

std::string DsnOf(const std::string& path) {
  return "ConnectString={Provider=SQLite;Data Source=" + path +
         "};DBMS Name=SQLite;DBMS Version=3.40;LANGUAGE=en";
}

// ---------------------------------------------------------------------------
// SQLite.

Sqlite::Sqlite(const std::string& path) {
  if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE, nullptr) !=
      SQLITE_OK) {
    std::string msg = db_ ? sqlite3_errmsg(db_) : "out of memory";
    sqlite3_close(db_);
    db_ = nullptr;
    throw Failure("cannot open " + path + ": " + msg);
  }
  sqlite3_busy_timeout(db_, 30000);
}

Sqlite::~Sqlite() { sqlite3_close(db_); }

void Sqlite::Exec(const std::string& sql) {
  char* msg = nullptr;
  if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &msg) != SQLITE_OK) {
    std::string text = msg ? msg : "failed";
    sqlite3_free(msg);
    throw Failure("SQLite: " + text + "\n  in: " + sql.substr(0, 300));
  }
}

std::vector<Row> Sqlite::Rows(const std::string& sql,
                              std::vector<std::string>* names) {
  sqlite3_stmt* st = nullptr;
  if (sqlite3_prepare_v2(db_, sql.c_str(), static_cast<int>(sql.size()), &st,
                         nullptr) != SQLITE_OK) {
    throw Failure(std::string("SQLite: ") + sqlite3_errmsg(db_) +
                  "\n  in: " + sql.substr(0, 300));
  }
  const int n = sqlite3_column_count(st);
  if (names != nullptr) {
    names->clear();
    for (int c = 0; c < n; ++c) names->emplace_back(sqlite3_column_name(st, c));
  }
  std::vector<Row> rows;
  int rc = 0;
  while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
    Row row(static_cast<size_t>(n));
    for (int c = 0; c < n; ++c) {
      Value& v = row[static_cast<size_t>(c)];
      v.type = sqlite3_column_type(st, c);
      switch (v.type) {
        case SQLITE_INTEGER:
          v.i = sqlite3_column_int64(st, c);
          break;
        case SQLITE_FLOAT:
          v.r = sqlite3_column_double(st, c);
          break;
        case SQLITE_TEXT:
        case SQLITE_BLOB:
          v.text.assign(static_cast<const char*>(sqlite3_column_blob(st, c)),
                        static_cast<size_t>(sqlite3_column_bytes(st, c)));
          break;
        default:
          break;
      }
    }
    rows.push_back(std::move(row));
  }
  sqlite3_finalize(st);
  if (rc != SQLITE_DONE) {
    throw Failure(std::string("SQLite: ") + sqlite3_errmsg(db_));
  }
  return rows;
}

// ---------------------------------------------------------------------------
// Digests.

std::string DigestSql(Sqlite& schema, const std::string& table) {
  std::vector<Row> columns = schema.Rows("PRAGMA table_info(" + table + ")");
  if (columns.empty()) throw Failure("no table " + table);
  std::string list;
  std::string order;
  for (size_t i = 0; i < columns.size(); ++i) {
    list += (i ? ",quote(" : "quote(") + columns[i][1].text + ")";
    order += (i ? "," : "") + std::to_string(i + 1);
  }
  return "SELECT " + list + " FROM " + table + " ORDER BY " + order;
}

uint64_t Digest(const TextQuery& query, const std::string& sql) {
  uint64_t h = 1469598103934665603ull;
  auto mix = [&h](const std::string& s) {
    for (unsigned char c : s) {
      h ^= c;
      h *= 1099511628211ull;
    }
    h ^= 0xFF;
    h *= 1099511628211ull;
  };
  for (const auto& row : query(sql)) {
    for (const std::string& cell : row) mix(cell);
    mix("\n");
  }
  return h;
}

TextQuery QueryOf(Sqlite& db) {
  return [&db](const std::string& sql) {
    std::vector<std::vector<std::string>> out;
    for (Row& row : db.Rows(sql)) {
      std::vector<std::string> cells;
      for (Value& v : row) cells.push_back(std::move(v.text));
      out.push_back(std::move(cells));
    }
    return out;
  };
}

namespace {

// FNV-1a, continued from `h`.
uint64_t Fnv(uint64_t h, const void* data, size_t n) {
  const auto* p = static_cast<const unsigned char*>(data);
  for (size_t i = 0; i < n; ++i) {
    h ^= p[i];
    h *= 1099511628211ull;
  }
  return h;
}

// The splitmix64 finaliser: spreads a row's hash over all 64 bits, so that
// the sum of the rows' hashes mixes well.
uint64_t Mix(uint64_t z) {
  z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
  z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
  return z ^ (z >> 31);
}

}  // namespace

uint64_t TableHash(Sqlite& db, const std::string& table) {
  const std::string sql = "SELECT * FROM \"" + table + "\"";
  sqlite3_stmt* st = nullptr;
  if (sqlite3_prepare_v2(db.get(), sql.c_str(), -1, &st, nullptr) !=
      SQLITE_OK) {
    throw Failure(std::string("SQLite: ") + sqlite3_errmsg(db.get()) +
                  "\n  in: " + sql);
  }
  const int n = sqlite3_column_count(st);
  uint64_t sum = 0;
  uint64_t rows = 0;
  int rc = 0;
  while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
    uint64_t h = 1469598103934665603ull;
    for (int c = 0; c < n; ++c) {
      const unsigned char type =
          static_cast<unsigned char>(sqlite3_column_type(st, c));
      h = Fnv(h, &type, 1);
      if (type == SQLITE_INTEGER) {
        const int64_t v = sqlite3_column_int64(st, c);
        h = Fnv(h, &v, sizeof v);
      } else if (type == SQLITE_FLOAT) {
        const double v = sqlite3_column_double(st, c);
        h = Fnv(h, &v, sizeof v);
      } else if (type != SQLITE_NULL) {
        const void* p = sqlite3_column_blob(st, c);
        const uint64_t len = static_cast<uint64_t>(sqlite3_column_bytes(st, c));
        h = Fnv(h, &len, sizeof len);
        h = Fnv(h, p, len);
      }
    }
    sum += Mix(h);
    ++rows;
  }
  sqlite3_finalize(st);
  if (rc != SQLITE_DONE) {
    throw Failure(std::string("SQLite: ") + sqlite3_errmsg(db.get()));
  }
  return Mix(sum ^ Mix(rows));
}

// ---------------------------------------------------------------------------
// The report.

namespace {

struct Figures {
  double tool = 0;
  double best = 0;
  double ratio() const { return best > 0 ? tool / best : 0; }
};

Figures Of(const Measure& m) { return {Median(m.tool_ms), Median(m.best_ms)}; }

}  // namespace

bool Report(const std::vector<Item>& items) {
  bool all = true;
  std::printf("\n%-30s %9s %9s %7s %7s %11s  %-28s %s\n",
              "item (medium; large)", "tool ms", "best ms", "ratio", "large",
              "target", "growth tool / best (limit)", "result");
  for (const Item& it : items) {
    const Figures m = Of(it.medium);
    const bool has_large = !it.large.tool_ms.empty();
    const Figures l = has_large ? Of(it.large) : Figures{};
    auto within = [&it](const Figures& f) {
      return it.absolute ? f.tool - f.best <= it.target
                         : f.ratio() <= it.target;
    };
    bool pass = within(m) && (!has_large || within(l));
    char growth[64] = "";
    if (has_large) {
      const double gt = m.tool > 0 ? l.tool / m.tool : 0;
      const double gb = m.best > 0 ? l.best / m.best : 0;
      if (it.growth_max > 0) {
        pass = pass && gt <= it.growth_max;
        std::snprintf(growth, sizeof growth, "x%.2f / x%.2f (<= x%.2f)", gt, gb,
                      it.growth_max);
      } else if (it.growth_limited) {
        const double limit = gb * 1.10;
        pass = pass && gt <= limit;
        std::snprintf(growth, sizeof growth, "x%.2f / x%.2f (<= x%.2f)", gt, gb,
                      limit);
      } else {
        std::snprintf(growth, sizeof growth, "x%.2f / x%.2f", gt, gb);
      }
    }
    char large[16] = "-";
    if (has_large) std::snprintf(large, sizeof large, "%.2f", l.ratio());
    char target[24];
    if (it.absolute) {
      std::snprintf(target, sizeof target, "+%.1f ms", it.target);
    } else {
      std::snprintf(target, sizeof target, "<= %.2f", it.target);
    }
    char ratio[16];
    if (it.absolute) {
      std::snprintf(ratio, sizeof ratio, "+%.2f", m.tool - m.best);
    } else {
      std::snprintf(ratio, sizeof ratio, "%.2f", m.ratio());
    }
    std::printf("%-30s %9.2f %9.2f %7s %7s %11s  %-28s %s%s%s\n",
                it.name.c_str(), m.tool, m.best, ratio, large, target, growth,
                pass ? "PASS" : "MISS", it.note.empty() ? "" : "  ",
                it.note.c_str());
    all = all && pass;
  }
  return all;
}

}  // namespace bench
