// Ctrl-C (SIGINT) and SIGTERM while the tool changes a database.
//
// During a close or reopen (InterruptScope) the first signal asks the plan
// to stop: a message says so at once, the step running finishes, and the
// plan rolls back (ThrowIfInterrupted between steps raises Interrupted);
// the command then exits 130. A second signal exits at once: the
// transaction was never committed, so the database rolls it back itself.
// While the commit runs the signals wait for it (they are blocked).
//
// During init (CleanupScope) a signal removes the temporary database file
// and exits 130.
#pragma once

#include <stdexcept>
#include <string>

namespace marl::cli {

inline constexpr int kExitInterrupted = 130;

class Interrupted : public std::runtime_error {
 public:
  Interrupted() : std::runtime_error("interrupted") {}
};

class InterruptScope {
 public:
  explicit InterruptScope(const std::string& what);  // "close", "reopen"
  ~InterruptScope();
  InterruptScope(const InterruptScope&) = delete;
  InterruptScope& operator=(const InterruptScope&) = delete;
};

// Raises Interrupted when a signal asked the plan to stop.
void ThrowIfInterrupted();

// Blocks the signals for the lifetime of the object (a commit); one that
// arrived meanwhile is then reported with `after` (and stops nothing).
class SignalsHeld {
 public:
  explicit SignalsHeld(const std::string& after);
  ~SignalsHeld();
  SignalsHeld(const SignalsHeld&) = delete;
  SignalsHeld& operator=(const SignalsHeld&) = delete;
};

class CleanupScope {
 public:
  explicit CleanupScope(const std::string& path);  // removed on a signal
  ~CleanupScope();
  CleanupScope(const CleanupScope&) = delete;
  CleanupScope& operator=(const CleanupScope&) = delete;
};

}  // namespace marl::cli
