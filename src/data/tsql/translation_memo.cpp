#include "data/tsql/translation_memo.h"

#include <functional>
#include <optional>
#include <utility>
#include <vector>

namespace marl::data::tsql {

namespace {

// One question a translation asked, with the answer it got. Questions are
// recorded once each, in the order first asked.
struct Asked {
  bool typed = false;  // a ColumnTypeLookup question, else a ColumnLookup one
  std::string table;
  std::string column;
  bool exists = false;             // the ColumnLookup answer
  std::optional<ColumnType> type;  // the ColumnTypeLookup answer

  bool Same(const Asked& o) const {
    return typed == o.typed && table == o.table && column == o.column;
  }
};

bool SameType(const std::optional<ColumnType>& a,
              const std::optional<ColumnType>& b) {
  if (a.has_value() != b.has_value()) return false;
  return !a.has_value() ||
         (a->declared == b->declared && a->collation == b->collation);
}

}  // namespace

struct TranslationMemo::Entry {
  std::shared_ptr<const Script> script;
  std::vector<Asked> asked;

  // Whether the lookups give the recorded answers to every question.
  bool StillHolds(const ColumnLookup& columns,
                  const ColumnTypeLookup& types) const {
    for (const Asked& a : asked) {
      if (a.typed) {
        if (!types || !SameType(types(a.table, a.column), a.type)) {
          return false;
        }
      } else if (!columns || columns(a.table, a.column) != a.exists) {
        return false;
      }
    }
    return true;
  }
};

size_t TranslationMemo::KeyHash::operator()(const Key& k) const {
  return std::hash<std::string>()(k.second) ^ static_cast<size_t>(k.first);
}

TranslationMemo& TranslationMemo::Shared() {
  static TranslationMemo memo;
  return memo;
}

std::shared_ptr<const Script> TranslationMemo::Get(
    const std::string& text, Dialect dialect, const ColumnLookup& columns,
    const ColumnTypeLookup& types) {
  Key key(dialect, text);
  std::shared_ptr<const Entry> kept;
  {
    std::lock_guard<std::mutex> lock(mu_);
    auto it = entries_.find(key);
    if (it != entries_.end()) kept = it->second;
  }
  // The questions are asked outside the lock: they read the connection.
  if (kept && kept->StillHolds(columns, types)) return kept->script;

  auto entry = std::make_shared<Entry>();
  std::vector<Asked>& asked = entry->asked;
  auto record = [&asked](Asked a) {
    for (const Asked& seen : asked) {
      if (seen.Same(a)) return;
    }
    asked.push_back(std::move(a));
  };
  ColumnLookup recording_columns;
  if (columns) {
    recording_columns = [&](std::string_view table, std::string_view column) {
      const bool exists = columns(table, column);
      record(Asked{false, std::string(table), std::string(column), exists,
                   std::nullopt});
      return exists;
    };
  }
  ColumnTypeLookup recording_types;
  if (types) {
    recording_types = [&](std::string_view table, std::string_view column) {
      std::optional<ColumnType> type = types(table, column);
      record(Asked{true, std::string(table), std::string(column), false, type});
      return type;
    };
  }
  entry->script = std::make_shared<const Script>(
      Translate(text, dialect, recording_columns, recording_types));

  std::lock_guard<std::mutex> lock(mu_);
  if (entries_.size() >= kMaxEntries && entries_.count(key) == 0) {
    entries_.clear();
  }
  entries_[std::move(key)] = entry;
  return entry->script;
}

size_t TranslationMemo::Size() const {
  std::lock_guard<std::mutex> lock(mu_);
  return entries_.size();
}

void TranslationMemo::Clear() {
  std::lock_guard<std::mutex> lock(mu_);
  entries_.clear();
}

}  // namespace marl::data::tsql
