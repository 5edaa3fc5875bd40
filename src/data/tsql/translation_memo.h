// Translations kept for every connection of the process.
//
// A connection keeps the translations of the texts it ran (its own cache),
// but a connection lives for one call: the next call of the same inquiry,
// or of the same close step, opens another and would translate its texts
// again. TranslationMemo keeps them for the process. Translate() depends
// only on the text, the dialect and the answers its lookups gave, so an
// entry records every question the translation asked and its answer; it is
// handed out again only to a connection whose lookups give the same answers
// to all of them (asked again at every hand-out, on that connection). A
// schema changed in between, a table of another database, a temporary
// table of one connection: the answers differ and the text is translated
// anew for it. A text translated without lookups asked nothing and is
// shared as it is.
//
// Failures are not kept: a text that does not translate raises its error on
// every call, as it does without the memo.
//
// Thread safety: a memo may be used from any number of threads at once; the
// scripts it hands out are never changed again. Entries are dropped all at
// once when the memo holds kMaxEntries and another is to be added.
#pragma once

#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

#include "data/tsql/script.h"

namespace marl::data::tsql {

class TranslationMemo {
 public:
  static constexpr size_t kMaxEntries = 1024;

  // The process's memo, shared by the providers.
  static TranslationMemo& Shared();

  // The translation of `text` for `dialect` on a connection whose lookups
  // are `columns` and `types`: a kept one when every question it asked has
  // the same answer now, else a new translation, which is kept. Throws what
  // Translate() throws; nothing is kept then.
  std::shared_ptr<const Script> Get(const std::string& text, Dialect dialect,
                                    const ColumnLookup& columns,
                                    const ColumnTypeLookup& types);

  // Entries held (for tests).
  size_t Size() const;
  void Clear();

 private:
  struct Entry;
  using Key = std::pair<Dialect, std::string>;
  struct KeyHash {
    size_t operator()(const Key& k) const;
  };

  mutable std::mutex mu_;
  std::unordered_map<Key, std::shared_ptr<const Entry>, KeyHash> entries_;
};

}  // namespace marl::data::tsql
