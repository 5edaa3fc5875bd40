// The error record and the usual English descriptions of the numbers the
// component raises.
#include "marlcheckout/error.h"

#include <utility>

namespace marl {

std::string ErrorText(int32_t number) {
  switch (number) {
    case 5:
      return "Invalid procedure call or argument";
    case 6:
      return "Overflow";
    case 7:
      return "Out of memory";
    case 9:
      return "Subscript out of range";
    case 11:
      return "Division by zero";
    case 13:
      return "Type mismatch";
    case 91:
      return "Object variable or With block variable not set";
    case 94:
      return "Invalid use of Null";
    case 438:
      return "Object doesn't support this property or method";
    case 440:
      return "Automation error";
    case 457:
      return "This key is already associated with an element of this "
             "collection";
    case err::kNotImplemented:
      return "Not implemented";
    case err::kFail:
      return "Unspecified error";
    case err::kUnknownName:
      return "Unknown name";
    case err::kMemberNotFound:
      return "Member not found";
    case err::kBadParamCount:
      return "Invalid number of parameters";
    case err::kClassNotRegistered:
      return "Class not registered";
    case err::kWrongThread:
      return "The object was called on a thread other than the one that "
             "created it";
    case err::kTransactionAborted:
      return "The transaction has been aborted";
    case err::kDbSyntax:
      return "The command contained one or more errors";
    case err::kDbNoTable:
      return "The specified table does not exist";
    case err::kDbIntegrity:
      return "The command violated the integrity constraints of a column";
    default:
      // kParseString and unknown numbers have no text of their own.
      return "";
  }
}

Error::Error(int32_t number, std::string source, std::string description,
             std::string help_file, int32_t help_context)
    : number_(number),
      source_(std::move(source)),
      description_(std::move(description)),
      help_file_(std::move(help_file)),
      help_context_(help_context) {
  Refresh();
}

Error Error::Of(int32_t number, std::string source) {
  return Error(number, std::move(source), ErrorText(number));
}

void Error::set_description(std::string d) {
  description_ = std::move(d);
  Refresh();
}

void Error::Refresh() {
  what_ = std::to_string(number_) + ": " + source_ + ": " + description_;
}

}  // namespace marl
