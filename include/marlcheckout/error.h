// Error: the error record every failure of the component is raised with.
//
// Contract
// - One exception type, marl::Error, carries the automation error record:
//   number (32-bit signed; HRESULT-style numbers such as 0x80044044 are
//   negative), source, description, help file and help context.
// - The component never reports failure through return values: every
//   failure reaches the caller as a thrown marl::Error.
// - Small numbers have their usual English descriptions (ErrorText), e.g.
//   5 "Invalid procedure call or argument", 13 "Type mismatch".
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

#include "marlcheckout/export.h"

namespace marl {

// Every error number the component and its platform raise or return, in
// one table.
namespace err {
// Runtime errors with their usual English descriptions (ErrorText).
constexpr int32_t kInvalidArgument = 5;  // Invalid procedure call or argument
constexpr int32_t kOverflow = 6;         // Overflow
constexpr int32_t kSubscriptRange = 9;   // Subscript out of range
constexpr int32_t kTypeMismatch = 13;    // Type mismatch
constexpr int32_t kObjectNotSet =
    91;  // Object variable or With block variable not set
constexpr int32_t kInvalidUseOfNull = 94;  // Invalid use of Null
constexpr int32_t kNotSupportedByObject =
    438;  // Object doesn't support this property or method
constexpr int32_t kDuplicateKey =
    457;  // This key is already associated with an element of this collection

// The component's own errors.
constexpr int32_t kParseString =
    static_cast<int32_t>(0x80044044);            // rejected property string
constexpr int32_t kKeysMissingUpdate = 1;        // builder: update without keys
constexpr int32_t kKeysMissingUpdateInsert = 2;  // builder: upsert w/o keys
constexpr int32_t kRequired = 10000;             // required value missing
constexpr int32_t kConversion = 10004;           // value not convertible
constexpr int32_t kTooLong = 10005;              // value longer than size
constexpr int32_t kIndexExists = 10006;          // unique index value taken
constexpr int32_t kRowExists = 10007;            // row with these keys exists
constexpr int32_t kRowMissing = 10008;           // no row with these keys
constexpr int32_t kLayout = 10009;               // value set does not fit
constexpr int32_t kSource = 10010;               // no table described
constexpr int32_t kCodeUsed = 12222;             // code in use elsewhere

// Platform (automation, registry, transactions, server entry points).
constexpr int32_t kOk = 0;     // S_OK
constexpr int32_t kFalse = 1;  // S_FALSE
constexpr int32_t kNotImplemented =
    static_cast<int32_t>(0x80004001);  // E_NOTIMPL
constexpr int32_t kNoInterface =
    static_cast<int32_t>(0x80004002);                           // E_NOINTERFACE
constexpr int32_t kPointer = static_cast<int32_t>(0x80004003);  // E_POINTER
constexpr int32_t kFail = static_cast<int32_t>(0x80004005);     // E_FAIL
constexpr int32_t kUnknownName =
    static_cast<int32_t>(0x80020006);  // DISP_E_UNKNOWNNAME
constexpr int32_t kMemberNotFound =
    static_cast<int32_t>(0x80020003);  // DISP_E_MEMBERNOTFOUND
constexpr int32_t kBadParamCount =
    static_cast<int32_t>(0x8002000E);  // DISP_E_BADPARAMCOUNT
constexpr int32_t kClassNotAvailable =
    static_cast<int32_t>(0x80040111);  // CLASS_E_CLASSNOTAVAILABLE
constexpr int32_t kClassNotRegistered =
    static_cast<int32_t>(0x80040154);  // REGDB_E_CLASSNOTREG
constexpr int32_t kWrongThread =
    static_cast<int32_t>(0x8001010E);  // RPC_E_WRONG_THREAD
constexpr int32_t kTransactionAborted =
    static_cast<int32_t>(0x8004E002);  // CONTEXT_E_ABORTED

// Data access (ADO and OLE DB) errors raised by the data layer.
constexpr int32_t kNoCurrentRecord = 3021;  // BOF or EOF
constexpr int32_t kItemNotFound = 3265;     // no such field or parameter
constexpr int32_t kObjectClosed = 3704;     // operation on a closed object
constexpr int32_t kObjectOpen = 3705;       // operation on an open object
constexpr int32_t kNoConnection = 3709;     // no open connection
constexpr int32_t kParamNotOptional =
    static_cast<int32_t>(0x80040E10);  // "?" without a value
constexpr int32_t kDbSyntax = static_cast<int32_t>(0x80040E14);
constexpr int32_t kDbNoTable = static_cast<int32_t>(0x80040E37);
constexpr int32_t kDbIntegrity = static_cast<int32_t>(0x80040E2F);
constexpr int32_t kDbFail = static_cast<int32_t>(0x80004005);
}  // namespace err

// The usual English description of a small error number ("" when none).
MARL_API std::string ErrorText(int32_t number);

class MARL_API Error : public std::exception {
 public:
  Error(int32_t number, std::string source, std::string description,
        std::string help_file = "", int32_t help_context = 0);

  // An error whose description is ErrorText(number).
  static Error Of(int32_t number, std::string source = "");

  int32_t number() const { return number_; }
  const std::string& source() const { return source_; }
  const std::string& description() const { return description_; }
  const std::string& help_file() const { return help_file_; }
  int32_t help_context() const { return help_context_; }

  // Setters keep what() in step with the record.
  void set_number(int32_t n) {
    number_ = n;
    Refresh();
  }
  void set_source(std::string s) {
    source_ = std::move(s);
    Refresh();
  }
  void set_description(std::string d);
  void set_help_file(std::string h) { help_file_ = std::move(h); }
  void set_help_context(int32_t c) { help_context_ = c; }

  const char* what() const noexcept override { return what_.c_str(); }

 private:
  void Refresh();
  int32_t number_;
  std::string source_;
  std::string description_;
  std::string help_file_;
  int32_t help_context_;
  std::string what_;
};

}  // namespace marl
