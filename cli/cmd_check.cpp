// marl-checkout check [--period YYYY/P] [--format table|json]: the checks
// that precede a close or reopen of a period (the current one by default),
// one line each with its verdict:
//   CheckHasVoucher          vouchers made for opening balances: a reopen
//                            of the period refuses without --force
//   HasCheckedOnlineBalance  checked opening balances (a reopen un-checks)
//   CheckHaveRevert          carried cost-revert rows
//   CostingWork              rows of a costing run: without, a close of the
//                            period refuses without --force
//   CloseToTakeBack          rows the close of the period before left:
//                            without, a reopen refuses without --force
// Exit 4 when any line would make close or reopen refuse, 0 otherwise.
// The checks only read; they run without a transaction.
#include <iostream>

#include "guards.h"
#include "operator.h"

namespace marl::cli {

int RunCheck(const Target& target, std::optional<YearPeriod> period,
             std::ostream& out, bool json) {
  Database db(target);
  if (!period) period = db.CurrentPeriod();
  const int32_t count = db.PeriodCount();
  if (count > 0 && period->period > count) {
    throw UsageError("period " + ToText(*period) +
                     " is out of range: the year has " + std::to_string(count) +
                     " periods");
  }
  const std::vector<Verdict> verdicts =
      CheckVerdicts(target, db, *period, count);
  bool refuses = false;
  for (const Verdict& v : verdicts) refuses = refuses || !v.refuses.empty();
  if (json) {
    Json checks = Json::array();
    for (const Verdict& v : verdicts) {
      checks.push_back(
          {{"name", v.name},
           {"value", v.value},
           {"meaning", v.meaning},
           {"verdict", v.refuses.empty() ? "fine" : "refuses"},
           {"command", v.refuses.empty() ? Json() : Json(v.refuses)},
           {"reason", v.reason}});
    }
    out << Dump({{"period", ToText(*period)},
                 {"checks", checks},
                 {"refuses", refuses}})
        << "\n";
  } else {
    out << "Checks of " << ToText(*period) << ":\n";
    for (const Verdict& v : verdicts) {
      out << v.name << ": " << (v.value ? "yes" : "no") << "  (" << v.meaning
          << "): ";
      if (v.refuses.empty()) {
        out << "fine\n";
      } else {
        out << v.refuses << " refuses without --force: " << v.reason << "\n";
      }
    }
  }
  return refuses ? kExitRefused : kExitOk;
}

namespace {

struct CheckOptions {
  ConnectionOptions connection;
  std::string period;
  std::string format = "table";
};

CommandRunner SetupCheck(CLI::App* sub) {
  auto o = std::make_shared<CheckOptions>();
  AddConnectionOptions(sub, &o->connection);
  CLI::Option* period =
      sub->add_option("--period", o->period,
                      "The period to check, YYYY/P (default: the current one)");
  sub->add_option("--format", o->format, "table (default) or json")
      ->check(CLI::IsMember({"table", "json"}));
  sub->footer(
      "Exit status: 0 every line fine; 2 usage; 3 a component error; 4 a "
      "line would make close or reopen refuse without --force.");
  return [o, period] {
    return RunGuarded("check", [&] {
      Target t = OpenTarget(o->connection);
      std::optional<YearPeriod> p;
      if (period->count() > 0) p = ParseYearPeriod(o->period);
      return RunCheck(t, p, std::cout, o->format == "json");
    });
  };
}

const CommandRegistration kCheck(
    "check", 40, "The checks before a close or reopen, with a verdict each",
    SetupCheck);

}  // namespace

}  // namespace marl::cli
