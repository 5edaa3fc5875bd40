// Ctrl-C and SIGTERM while the tool changes a database (see interrupt.h).
#include "interrupt.h"

#include <signal.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstring>

namespace marl::cli {

namespace {

volatile std::sig_atomic_t g_stop = 0;
char g_message[256];        // written by the handler, set up beforehand
char g_cleanup[4096 + 16];  // the file init removes on a signal
struct sigaction g_old_int, g_old_term;

void Write(const char* text) {
  ssize_t ignored = ::write(STDERR_FILENO, text, std::strlen(text));
  (void)ignored;
}

void OnPlanSignal(int) {
  if (g_stop == 2) {  // after the commit: nothing left to stop
    Write(g_message);
    return;
  }
  if (g_stop) {
    Write(
        "\nmarl-checkout: interrupted again: stopped without committing; "
        "the database rolls the transaction back, nothing was changed\n");
    ::_exit(kExitInterrupted);
  }
  g_stop = 1;
  Write(g_message);
}

void OnInitSignal(int) {
  if (g_cleanup[0] != '\0') {
    ::unlink(g_cleanup);
    char journal[sizeof g_cleanup + 16];
    std::strcpy(journal, g_cleanup);
    std::strcat(journal, "-journal");
    ::unlink(journal);
  }
  Write(
      "\nmarl-checkout init: interrupted; the new database was not "
      "created\n");
  ::_exit(kExitInterrupted);
}

void Install(void (*handler)(int)) {
  struct sigaction sa {};
  sa.sa_handler = handler;
  sigemptyset(&sa.sa_mask);
  ::sigaction(SIGINT, &sa, &g_old_int);
  ::sigaction(SIGTERM, &sa, &g_old_term);
}

void Restore() {
  ::sigaction(SIGINT, &g_old_int, nullptr);
  ::sigaction(SIGTERM, &g_old_term, nullptr);
}

sigset_t Signals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  return set;
}

}  // namespace

InterruptScope::InterruptScope(const std::string& what) {
  g_stop = 0;
  std::snprintf(g_message, sizeof g_message,
                "\nmarl-checkout %s: interrupted; rolling back after the "
                "current step (again to stop at once)\n",
                what.c_str());
  Install(OnPlanSignal);
}

InterruptScope::~InterruptScope() {
  Restore();
  g_stop = 0;
}

void ThrowIfInterrupted() {
  if (g_stop == 1) throw Interrupted();
}

SignalsHeld::SignalsHeld(const std::string& after) {
  const sigset_t set = Signals();
  ::sigprocmask(SIG_BLOCK, &set, nullptr);
  // The handler cannot run while the signals are blocked.
  std::snprintf(g_message, sizeof g_message, "\nmarl-checkout: %s\n",
                after.c_str());
  g_stop = 2;  // a first signal from now on only prints the message
}

SignalsHeld::~SignalsHeld() {
  const sigset_t set = Signals();
  ::sigprocmask(SIG_UNBLOCK, &set, nullptr);
}

CleanupScope::CleanupScope(const std::string& path) {
  std::snprintf(g_cleanup, sizeof g_cleanup, "%s", path.c_str());
  Install(OnInitSignal);
}

CleanupScope::~CleanupScope() {
  Restore();
  g_cleanup[0] = '\0';
}

}  // namespace marl::cli
