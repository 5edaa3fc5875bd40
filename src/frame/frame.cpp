// The shared method frame: object state, activation, tracked connections
// and the failure forms.
#include "frame/frame.h"

#include <atomic>
#include <utility>

#include "common/globals.h"
#include "data/provider.h"
#include "marlcheckout/public_object.h"

namespace marl {

PublicObject::PublicObject(TxAttribute attr)
    : Component(attr), env_(std::make_unique<frame::ObjectEnv>()) {
  frame::AddLiveObject();
}

PublicObject::~PublicObject() {
  env_.reset();
  frame::ReleaseLiveObject();
}

// The connections a method opens one after the other (a list's profile
// reads, then the list itself; the reads of the sibling components it calls)
// share one physical connection where the data layer can reuse it; all of
// them are closed when the outermost method returns, so no connection
// outlives the call (data/provider.h, ConnectionReuseScope).
void PublicObject::RunFrame(const frame::FailureForm& form,
                            const std::function<void()>& prelude,
                            const std::function<void(frame::Method&)>& body) {
  data::ConnectionReuseScope reuse;
  Call([&] {
    if (prelude) prelude();
    frame::RunMethod(*env_, form, body);
  });
}

}  // namespace marl

namespace marl::frame {

namespace {

std::atomic<int64_t> g_live_objects{0};

// The source the runtime gives its own errors.
constexpr const char* kRuntimeSource = "MarlCheckOut";

}  // namespace

void AddLiveObject() { g_live_objects.fetch_add(1); }
void ReleaseLiveObject() { g_live_objects.fetch_sub(1); }
int64_t LiveObjects() { return g_live_objects.load(); }

ObjectEnv::~ObjectEnv() {
  data_source_.reset();
  parser_.reset();
}

void ObjectEnv::InitDataEnv(const std::string& sDsn) {
  parser_ = std::make_shared<data::CParse>();
  if (!parser_->ParseString(sDsn)) {
    throw Error(err::kParseString, "ParseString", "");
  }
  auto ds = std::make_shared<data::CDataSource>();
  ds->SetParseObject(parser_);
  data_source_ = std::move(ds);
}

Method::~Method() = default;

data::CParse& Method::parser() const {
  if (!env_.parser()) throw Error::Of(err::kObjectNotSet, kRuntimeSource);
  return *env_.parser();
}

data::CDataSource& Method::data_source() const { return *data_source_ptr(); }

const std::shared_ptr<data::CDataSource>& Method::data_source_ptr() const {
  if (!env_.data_source()) {
    throw Error::Of(err::kObjectNotSet, kRuntimeSource);
  }
  return env_.data_source();
}

std::shared_ptr<data::Connection> Method::OpenConnection() {
  auto connection = data_source().Connection();
  connections_.push_back(connection);
  return connection;
}

void Method::Track(std::shared_ptr<data::Connection> connection) {
  if (connection) connections_.push_back(std::move(connection));
}

void Method::CloseConnections() {
  std::vector<std::shared_ptr<data::Connection>> connections;
  connections.swap(connections_);
  for (auto& c : connections) {
    if (c->State() == data::ado::kStateOpen) c->Close();
  }
}

ObjectContext& Method::context() const {
  ObjectContext* context = GetObjectContext();
  if (context == nullptr) throw Error::Of(err::kObjectNotSet, kRuntimeSource);
  return *context;
}

Error Method::Fail(const FailureForm& form, Error e) {
  common::PendingError() = common::ErrorRecord::From(e);
  if (form.vote == Vote::kAbort) {
    if (ObjectContext* context = GetObjectContext()) context->SetAbort();
  }
  std::vector<std::shared_ptr<data::Connection>> connections;
  connections.swap(connections_);
  for (auto& c : connections) {
    try {
      if (c->State() == data::ado::kStateOpen) c->Close();
    } catch (...) {
      // The error being raised is the one the caller must see.
    }
  }
  connections.clear();
  if (form.description == Description::kTranslated) {
    e.set_description(common::LoadResText(e.description(), language_));
  }
  switch (form.handling) {
    case Handling::kPrefixSource:
      e.set_source(std::string(form.source) +
                   (form.trail == Trail::kCrLf ? "\r\n" : "") + e.source());
      break;
    case Handling::kFixedSource:
      e.set_source(form.source);
      break;
    case Handling::kUntouched:
    case Handling::kPassOn:
      break;
  }
  common::PendingError() = common::ErrorRecord();
  return e;
}

}  // namespace marl::frame
