// PublicObject: what the three public classes of the component have in
// common.
//
// Contract
// - Every public object owns one connection-property parser and one data
//   source, made anew by each call that takes a connection property string
//   and kept until the next such call or until the object ends. Neither is
//   visible to clients. When the object ends, the data source is released
//   first, then the parser.
// - The object keeps no database connection between calls.
// - Each public object counts as a live object of the library for
//   DllCanUnloadNow (server.h) from construction to destruction.
// Thread safety: apartment model; an object is only called on the thread
// that created it (see transaction.h).
#pragma once

#include <memory>

#include "marlcheckout/transaction.h"

namespace marl {

namespace frame {
class ObjectEnv;
struct FailureForm;
}  // namespace frame

class PublicObject : public Component {
 public:
  ~PublicObject() override;

  PublicObject(const PublicObject&) = delete;
  PublicObject& operator=(const PublicObject&) = delete;

 protected:
  explicit PublicObject(TxAttribute attr);

  // Runs one public method: Component::Call around the shared method frame
  // with the given failure form. Defined in the component's private frame
  // header (frame/frame.h), which every method body includes.
  template <class F>
  auto Run(const frame::FailureForm& form, F&& body);

  frame::ObjectEnv& env() const { return *env_; }

 private:
  std::unique_ptr<frame::ObjectEnv> env_;
};

}  // namespace marl
