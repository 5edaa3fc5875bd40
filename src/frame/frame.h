// The frame every public method of the component runs in, written once.
//
// A public method is Component::Call (transaction, object context, votes)
// around RunMethod (activation, the method's connection, the failure
// handling) around the method's own statements. PublicObject::Run puts the
// two together, so a method body reads:
//
//   constexpr frame::FailureForm kSetEndBalForm =
//       frame::PassOn(frame::Vote::kAbort);
//
//   void CloseData::SetEndBal(const std::string& sDsn, int16_t iYear,
//                             int16_t iPeriod) {
//     Run(kSetEndBalForm, [&](frame::Method& m) {
//       m.InitDataEnv(sDsn);                        // parser + data source
//       m.set_language(m.parser().LanguageID());    // for translation
//       auto cn = m.OpenConnection();               // tracked by the frame
//       cn->Execute("Delete cbBalance WHERE ...");
//       m.CloseConnections();
//       m.SetComplete();
//     });
//   }
//
// When the body raises, RunMethod applies the method's failure form. The
// four forms are the ones the component's documentation calls A to D:
// - A, Untouched(): nothing; the error leaves unchanged, connections are
//   released without an explicit close, no vote is cast.
// - B, PassOn(): SetAbort when the form asks for it; every open connection
//   the method took through the frame is closed and released; the
//   description is passed through LoadResText with the method's language
//   when the form asks for it; the error is raised again, otherwise
//   unchanged.
// - C, PrefixSource(): as PassOn, and the source becomes the form's place
//   text followed by CRLF and the previous source (Trail::kCrLf), or
//   directly followed by the previous source (Trail::kDirect).
// - D, FixedSource(): as PassOn, and the source becomes the form's fixed
//   text alone.
// Number, help file and help context are never changed. An exception that
// is not a marl::Error is raised as error 0x80004005 (E_FAIL) with its text
// as description, then handled as above.
//
// Thread safety: a Method lives on the stack of one call.
#pragma once

#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "data/ado.h"
#include "data/cparse.h"
#include "data/data_source.h"
#include "marlcheckout/error.h"
#include "marlcheckout/transaction.h"

namespace marl::frame {

// The state every public object holds: the parser of its last connection
// property string and the data source made with it.
class ObjectEnv {
 public:
  ObjectEnv() = default;
  // Releases the data source, then the parser (which also releases the
  // thread's resource-text loader).
  ~ObjectEnv();
  ObjectEnv(const ObjectEnv&) = delete;
  ObjectEnv& operator=(const ObjectEnv&) = delete;

  // The private initialisation: a new parser takes the place of the old one
  // and parses `sDsn`; when ParseString returns true a new data source with
  // that parser takes the place of the old one; when it returns false, error
  // 0x80044044 with source "ParseString" and no description is raised. The
  // parser's own errors (457 for a repeated key) pass through unchanged.
  void InitDataEnv(const std::string& sDsn);

  // nullptr before the first initialisation.
  const std::shared_ptr<data::CParse>& parser() const { return parser_; }
  const std::shared_ptr<data::CDataSource>& data_source() const {
    return data_source_;
  }

 private:
  std::shared_ptr<data::CParse> parser_;
  std::shared_ptr<data::CDataSource> data_source_;
};

enum class Handling { kUntouched, kPassOn, kPrefixSource, kFixedSource };
enum class Vote { kNone, kAbort };  // vote cast on failure
enum class Description { kAsRaised, kTranslated };
enum class Trail { kCrLf, kDirect };  // Form C: separator

// How a method passes a failure back to its caller (see the file comment).
struct FailureForm {
  Handling handling = Handling::kUntouched;
  Vote vote = Vote::kNone;
  Description description = Description::kAsRaised;
  const char* source = "";  // the place (prefix) or the fixed source
  Trail trail = Trail::kCrLf;
};

constexpr FailureForm Untouched() { return FailureForm{}; }
constexpr FailureForm PassOn(Vote vote,
                             Description d = Description::kAsRaised) {
  return FailureForm{Handling::kPassOn, vote, d, "", Trail::kCrLf};
}
constexpr FailureForm PrefixSource(const char* place, Vote vote,
                                   Description d = Description::kAsRaised,
                                   Trail trail = Trail::kCrLf) {
  return FailureForm{Handling::kPrefixSource, vote, d, place, trail};
}
constexpr FailureForm FixedSource(const char* fixed_source, Vote vote,
                                  Description d = Description::kAsRaised) {
  return FailureForm{Handling::kFixedSource, vote, d, fixed_source,
                     Trail::kCrLf};
}

// One running public method: what its body works with.
class Method {
 public:
  explicit Method(ObjectEnv& env) : env_(env) {}
  // Releases the connections still tracked, without closing them.
  ~Method();
  Method(const Method&) = delete;
  Method& operator=(const Method&) = delete;

  // ObjectEnv::InitDataEnv on the object.
  void InitDataEnv(const std::string& sDsn) { env_.InitDataEnv(sDsn); }

  // The object's parser and data source; error 91 (object not set) when the
  // object was never initialised.
  data::CParse& parser() const;
  data::CDataSource& data_source() const;
  const std::shared_ptr<data::CDataSource>& data_source_ptr() const;
  ObjectEnv& env() const { return env_; }

  // A new connection from the data source's Connection(), tracked so that a
  // failure closes it (every form but Untouched).
  std::shared_ptr<data::Connection> OpenConnection();
  // Tracks a connection obtained elsewhere.
  void Track(std::shared_ptr<data::Connection> connection);
  // Closes every tracked connection that is open and releases them all.
  // Errors of the close are raised (this is the method's own close).
  void CloseConnections();

  // The object context of this call (error 91 when there is none).
  ObjectContext& context() const;
  void SetComplete() const { context().SetComplete(); }
  void SetAbort() const { context().SetAbort(); }

  // The caller's language used to translate the description on failure
  // (Description::kTranslated); empty until the body sets it.
  void set_language(std::string language) { language_ = std::move(language); }
  const std::string& language() const { return language_; }

  // Applies `form` to the error `e` (votes, closes, rewrites) and returns
  // the error to raise. Never throws.
  Error Fail(const FailureForm& form, Error e);

 private:
  ObjectEnv& env_;
  std::vector<std::shared_ptr<data::Connection>> connections_;
  std::string language_;
};

// Runs `body(Method&)` under `form`; returns what the body returns.
template <class F>
auto RunMethod(ObjectEnv& env, const FailureForm& form, F&& body) {
  Method m(env);
  if (form.handling == Handling::kUntouched) return body(m);
  try {
    return body(m);
  } catch (Error& e) {
    throw m.Fail(form, std::move(e));
  } catch (const std::exception& e) {
    throw m.Fail(form, Error(err::kFail, "MarlCheckOut", e.what()));
  }
}

// Objects of the library alive now (public objects and factory locks);
// DllCanUnloadNow answers from it.
void AddLiveObject();
void ReleaseLiveObject();
int64_t LiveObjects();

}  // namespace marl::frame
