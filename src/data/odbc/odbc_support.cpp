// Owning handles, text conversion, errors and name spellings of the ODBC
// provider (see odbc_support.h).
#include "data/odbc/odbc_support.h"

#include <algorithm>
#include <cctype>

#include "data/tsql/tokenizer.h"

namespace marl::data::odbc {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

void PutUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

bool Contains(const std::string& s, const char* word) {
  return s.find(word) != std::string::npos;
}

int32_t NumberOf(const Diagnostic& d, bool sqlite_messages) {
  const std::string& s = d.sqlstate;
  if (s.compare(0, 2, "23") == 0) return err::kDbIntegrity;
  if (s == "42P01" || s == "42S02") return err::kDbNoTable;
  if (s.compare(0, 2, "42") == 0) return err::kDbSyntax;
  if (sqlite_messages && (s == "HY000" || s == "S1000")) {
    const std::string& m = d.message;
    if (Contains(m, "no such table")) return err::kDbNoTable;
    if (Contains(m, "constraint")) return err::kDbIntegrity;
    if (Contains(m, "syntax error") || Contains(m, "incomplete input") ||
        Contains(m, "no such column") || Contains(m, "no such function")) {
      return err::kDbSyntax;
    }
  }
  return err::kDbFail;
}

}  // namespace

WideText Widen(std::string_view s) {
  WideText out;
  out.reserve(s.size());
  size_t i = 0;
  while (i < s.size()) {
    auto c = static_cast<unsigned char>(s[i]);
    char32_t code = kReplacement;
    size_t len = c < 0x80    ? 1
                 : c >= 0xF0 ? 4
                 : c >= 0xE0 ? 3
                 : c >= 0xC2 ? 2
                             : 0;
    bool ok = len > 0 && c <= 0xF4 && i + len <= s.size();
    for (size_t k = 1; ok && k < len; ++k) {
      ok = (static_cast<unsigned char>(s[i + k]) & 0xC0) == 0x80;
    }
    if (ok) {
      code = len == 1   ? c
             : len == 2 ? c & 0x1F
             : len == 3 ? c & 0x0F
                        : c & 0x07;
      for (size_t k = 1; k < len; ++k) {
        code = (code << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
      }
      // Overlong forms, surrogates and values past U+10FFFF are malformed.
      const char32_t min = len == 1   ? 0
                           : len == 2 ? 0x80
                           : len == 3 ? 0x800
                                      : 0x10000;
      if (code < min || code > 0x10FFFF || (code >= 0xD800 && code < 0xE000)) {
        code = kReplacement;
      }
      i += len;
    } else {
      ++i;
    }
    if (code >= 0x10000) {
      code -= 0x10000;
      out.push_back(static_cast<SQLWCHAR>(0xD800 + (code >> 10)));
      out.push_back(static_cast<SQLWCHAR>(0xDC00 + (code & 0x3FF)));
    } else {
      out.push_back(static_cast<SQLWCHAR>(code));
    }
  }
  return out;
}

std::string Narrow(const SQLWCHAR* text, size_t units) {
  std::string out;
  out.reserve(units);
  for (size_t i = 0; i < units; ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < units && text[i + 1] >= 0xDC00 &&
        text[i + 1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c < 0xE000) {
      c = kReplacement;
    }
    PutUtf8(out, c);
  }
  return out;
}

std::vector<Diagnostic> ReadDiagnostics(SQLSMALLINT type, SQLHANDLE handle) {
  std::vector<Diagnostic> out;
  if (handle == nullptr) return out;
  for (SQLSMALLINT record = 1;; ++record) {
    SQLWCHAR state[6] = {};
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    std::vector<SQLWCHAR> message(512);
    SQLRETURN rc =
        SQLGetDiagRecW(type, handle, record, state, &native, message.data(),
                       static_cast<SQLSMALLINT>(message.size()), &length);
    if (rc == SQL_SUCCESS_WITH_INFO && length >= 0 &&
        static_cast<size_t>(length) >= message.size()) {
      message.resize(static_cast<size_t>(length) + 1);
      rc = SQLGetDiagRecW(type, handle, record, state, &native, message.data(),
                          static_cast<SQLSMALLINT>(message.size()), &length);
    }
    if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) break;
    Diagnostic d;
    d.sqlstate = Narrow(state, 5);
    d.native = native;
    size_t units = length < 0 ? 0 : static_cast<size_t>(length);
    d.message = Narrow(message.data(), std::min(units, message.size()));
    while (!d.message.empty() &&
           (d.message.back() == '\n' || d.message.back() == ' ')) {
      d.message.pop_back();
    }
    out.push_back(std::move(d));
  }
  return out;
}

Error MakeError(const std::vector<Diagnostic>& records, bool sqlite_messages,
                const std::string& context) {
  int32_t number = err::kDbFail;
  for (const Diagnostic& d : records) {
    number = NumberOf(d, sqlite_messages);
    if (number != err::kDbFail) break;
  }
  std::string description = context;
  for (const Diagnostic& d : records) {
    if (!description.empty()) description += "\n";
    description += "[" + d.sqlstate + "] " + d.message;
  }
  if (records.empty()) {
    if (!description.empty()) description += "\n";
    description += "The ODBC driver failed without a diagnostic record";
  }
  return Error(number, kSource, description);
}

void Spellings::Remember(std::string_view text) {
  using tsql::detail::TokKind;
  std::vector<tsql::detail::Token> tokens;
  try {
    int32_t markers = 0;
    tokens = tsql::detail::Tokenize(text, &markers);
  } catch (const Error&) {
    return;  // a text the tokenizer refuses teaches nothing
  }
  for (const auto& t : tokens) {
    std::string_view word = tsql::detail::TokenText(text, t);
    if (t.kind == TokKind::QuotedName) {
      word = word.substr(1, word.size() - 2);
    } else if (t.kind != TokKind::Word) {
      continue;
    }
    by_lower_.emplace(tsql::detail::AsciiLower(word), std::string(word));
  }
}

std::string Spellings::Spell(const std::string& reported) const {
  for (char c : reported) {
    if (std::isupper(static_cast<unsigned char>(c))) return reported;
  }
  auto it = by_lower_.find(reported);
  return it == by_lower_.end() ? reported : it->second;
}

}  // namespace marl::data::odbc
