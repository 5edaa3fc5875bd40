// marl-checkout check [--period YYYY/P]: the three pre-close checks of a
// period (the current one by default) as yes/no lines:
//   CheckHasVoucher: yes|no          vouchers made for opening balances
//   HasCheckedOnlineBalance: yes|no  checked opening balances
//   CheckHaveRevert: yes|no          carried cost-revert rows
// The checks only read; they run without a transaction.
#include <iostream>

#include "marlcheckout/check_out_info.h"
#include "operator.h"

namespace marl::cli {

int RunCheck(const Target& target, std::optional<YearPeriod> period,
             std::ostream& out) {
  if (!period) {
    Database db(target);
    period = db.CurrentPeriod();
  }
  auto info = NewComponent<CheckOutInfo>();
  const int32_t y = period->year, p = period->period;
  auto yes_no = [](bool b) { return b ? "yes" : "no"; };
  const bool voucher = info->CheckHasVoucher(target.dsn, y, p);
  const bool checked = info->HasCheckedOnlineBalance(target.dsn, y, p);
  const bool revert = info->CheckHaveRevert(target.dsn, y, p);
  out << "Pre-close checks of " << ToText(*period) << ":\n"
      << "CheckHasVoucher: " << yes_no(voucher)
      << "  (vouchers made for opening balances)\n"
      << "HasCheckedOnlineBalance: " << yes_no(checked)
      << "  (checked opening balances)\n"
      << "CheckHaveRevert: " << yes_no(revert)
      << "  (carried cost-revert rows)\n";
  return kExitOk;
}

namespace {

struct CheckOptions {
  ConnectionOptions connection;
  std::string period;
};

CommandRunner SetupCheck(CLI::App& app) {
  auto o = std::make_shared<CheckOptions>();
  CLI::App* sub =
      app.add_subcommand("check", "The three pre-close checks as yes/no lines");
  AddConnectionOptions(sub, &o->connection);
  CLI::Option* period =
      sub->add_option("--period", o->period,
                      "The period to check, YYYY/P (default: the current one)");
  sub->footer("Exit status: 0 shown; 2 usage; 3 a component error.");
  return [o, period] {
    return RunGuarded("check", [&] {
      Target t = OpenTarget(o->connection);
      std::optional<YearPeriod> p;
      if (period->count() > 0) p = ParseYearPeriod(o->period);
      return RunCheck(t, p, std::cout);
    });
  };
}

const CommandRegistration kCheck("check", 40, SetupCheck);

}  // namespace

}  // namespace marl::cli
