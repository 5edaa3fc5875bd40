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

#include <functional>
#include <memory>
#include <optional>
#include <type_traits>
#include <utility>

#include "marlcheckout/export.h"
#include "marlcheckout/transaction.h"

namespace marl {

namespace frame {
class ObjectEnv;
class Method;
struct FailureForm;
}  // namespace frame

class MARL_API PublicObject : public Component {
 public:
  ~PublicObject() override;

  PublicObject(const PublicObject&) = delete;
  PublicObject& operator=(const PublicObject&) = delete;

 protected:
  explicit PublicObject(TxAttribute attr);

  // Runs one public method: Component::Call around the component's method
  // frame, which applies `form` to a failure of `body`. `prelude`, when not
  // empty, runs first inside the call, before the failure handling is armed.
  void RunFrame(const frame::FailureForm& form,
                const std::function<void()>& prelude,
                const std::function<void(frame::Method&)>& body);

  // RunFrame without a prelude, handing back what `body` returns.
  template <class F>
  auto Run(const frame::FailureForm& form, F&& body) {
    using R = std::invoke_result_t<F&, frame::Method&>;
    // The function objects hold a reference to the body, which they then
    // store in place instead of copying it (with all it captures) to the
    // heap.
    if constexpr (std::is_void_v<R>) {
      RunFrame(form, {}, [&body](frame::Method& m) { body(m); });
    } else {
      std::optional<R> result;
      RunFrame(form, {}, [&](frame::Method& m) { result.emplace(body(m)); });
      return std::move(*result);
    }
  }

 private:
  std::unique_ptr<frame::ObjectEnv> env_;
};

}  // namespace marl
