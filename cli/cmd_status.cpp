// marl-checkout status: the current and next period (TransPeriod), the
// period's cost balance totals, the completion state of batch products and
// the row counts of the current period in the main tables.
//
// TransPeriod requires a transaction: it runs in a read-only one, which
// takes no write lock, so status neither waits for a close nor holds one
// up.
#include <iostream>
#include <map>

#include "marlcheckout/check_out_update.h"
#include "marlcheckout/transaction.h"
#include "operator.h"
#include "table_format.h"

namespace marl::cli {

namespace {

// Tables whose rows of the current period a close reads or moves.
const char* const kPeriodTables[] = {"CB_CostBalance",
                                     "cbBalance",
                                     "cbCostObjDetail",
                                     "cbCostObjCheck",
                                     "cbCalinfo",
                                     "cbCalinfoDetail",
                                     "CBRationStandardInfo",
                                     "CBStdSalaryRate",
                                     "cbCostTypeInfo",
                                     "CBSortStandardInfo",
                                     "CBDeputyInfo",
                                     "DayCost_Balance",
                                     "DayCost_CostObjDetail",
                                     "CBCarriedCostRevertStdInfo",
                                     "CBCarriedCostRevertRealEndStk",
                                     "CBCarriedCostRevertRealEndBal",
                                     "cbMaterielInfo",
                                     "cbExpenseDistributeInfo",
                                     "CBOnInitBalance",
                                     "CBCostObjAdjustDetail"};

double Number(const Json& row, const char* key) {
  auto it = row.find(key);
  return it != row.end() && it->is_number() ? it->get<double>() : 0.0;
}

std::string Text(const Json& row, const char* key) {
  auto it = row.find(key);
  return it != row.end() && it->is_string() ? it->get<std::string>() : "";
}

std::string Amount(double v) { return Variant::FormatDouble(v); }

}  // namespace

int RunStatus(const Target& target, std::ostream& out) {
  auto update = NewComponent<CheckOutUpdate>();
  Variant tvec, batches;
  int32_t y = 0, p = 0, ny = 0, np = 0;
  {
    TransactionScope read(TxAccess::kReadOnly);
    update->TransPeriod(target.dsn, tvec, batches, y, p, ny, np);
    read.Commit();
  }
  const YearPeriod current{y, p};
  out << "Database:       " << target.label << "\n"
      << "Current period: " << ToText(current) << "\n"
      << "Next period:    " << ToText({ny, np}) << "\n\n";

  // Cost balance of the period: the total rows ('*') of every department
  // and product, summed.
  const Json rows = ToJson(tvec);
  double beg = 0, acc = 0, end = 0, done = 0;
  size_t totals = 0;
  for (const Json& row : rows) {
    if (Text(row, "FCostID") != "*") continue;
    ++totals;
    beg += Number(row, "FBegBal");
    acc += Number(row, "FAccount");
    end += Number(row, "FEndBal");
    done += Number(row, "FCompleQty");
  }
  out << "Cost balance of " << ToText(current) << ": " << rows.size()
      << " rows, " << totals << " department-product totals\n";
  TextTable sums({"beginning balance", "period amount", "ending balance",
                  "completed quantity"});
  for (size_t c = 0; c < 4; ++c) sums.SetRightAligned(c);
  sums.AddRow({Amount(beg), Amount(acc), Amount(end), Amount(done)});
  out << sums.Render("  ") << "\n";

  Database db(target);
  std::map<std::string, std::string> names;
  for (const auto& r :
       db.Rows("SELECT FID, FName FROM CB_BmProduct WHERE FType = 3")) {
    names[CellText(r[0])] = CellText(r[1]);
  }
  const Json batch_rows = ToJson(batches);
  size_t complete = 0;
  TextTable batch(
      {"batch product", "name", "batch quantity", "completed", "state"});
  batch.SetRightAligned(2);
  batch.SetRightAligned(3);
  for (const Json& row : batch_rows) {
    const std::string id = Text(row, "FID");
    double qty = Number(row, "FComQty"), comed = Number(row, "FComedQty");
    bool finished = comed >= qty;
    complete += finished ? 1 : 0;
    batch.AddRow({id, names[id], Amount(qty), Amount(comed),
                  finished ? "complete" : "in production"});
  }
  out << "Batch products through " << ToText(current) << ": "
      << batch_rows.size() << " (" << complete << " complete)\n";
  if (batch.RowCount() > 0) out << batch.Render("  ");
  out << "\n";

  out << "Rows of " << ToText(current) << ":\n";
  TextTable counts({"table", "rows"});
  counts.SetRightAligned(1);
  for (const char* t : kPeriodTables) {
    counts.AddRow({t, std::to_string(db.CountPeriod(t, current))});
  }
  out << counts.Render("  ");
  return kExitOk;
}

namespace {

CommandRunner SetupStatus(CLI::App& app) {
  auto o = std::make_shared<ConnectionOptions>();
  CLI::App* sub = app.add_subcommand(
      "status",
      "Current and next period, cost balance totals, batch completion and "
      "the current period's rows");
  AddConnectionOptions(sub, o.get());
  sub->footer("Exit status: 0 shown; 2 usage; 3 a component error.");
  return [o] {
    return RunGuarded("status",
                      [&] { return RunStatus(OpenTarget(*o), std::cout); });
  };
}

const CommandRegistration kStatus("status", 30, SetupStatus);

}  // namespace

}  // namespace marl::cli
