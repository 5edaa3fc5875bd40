// marl-checkout status: the current and next period (TransPeriod), the
// period's cost balance totals, the completion state of batch products and
// the row counts of the current period in the main tables.
//
// TransPeriod requires a transaction: it runs in a read-only one, which
// takes no write lock, so status neither waits for a close nor holds one
// up.
#include <iostream>
#include <map>

#include "close_log.h"
#include "marlcheckout/check_out_update.h"
#include "marlcheckout/transaction.h"
#include "money.h"
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

std::string Amount(double v) { return Money(v, 2); }

}  // namespace

int RunStatus(const Target& target, std::ostream& out, bool json) {
  auto update = NewComponent<CheckOutUpdate>();
  Variant tvec, batches;
  int32_t y = 0, p = 0, ny = 0, np = 0;
  {
    TransactionScope read(TxAccess::kReadOnly);
    update->TransPeriod(target.dsn, tvec, batches, y, p, ny, np);
    read.Commit();
  }
  const YearPeriod current{y, p};

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

  Database db(target);
  std::map<std::string, std::string> names;
  for (const auto& r :
       db.Rows("SELECT FID, FName FROM CB_BmProduct WHERE FType = 3")) {
    names[CellText(r[0])] = CellText(r[1]);
  }
  const int64_t type1 = db.Count("CB_BmProduct", "FType = 1");
  const Json batch_rows = ToJson(batches);
  Json batch_json = Json::array();
  size_t complete = 0;
  for (const Json& row : batch_rows) {
    const std::string id = Text(row, "FID");
    const double qty = Number(row, "FComQty");
    const double comed = Number(row, "FComedQty");
    const bool finished = comed >= qty;
    complete += finished ? 1 : 0;
    batch_json.push_back({{"FID", id},
                          {"FName", names[id]},
                          {"FComQty", qty},
                          {"FComedQty", comed},
                          {"complete", finished}});
  }
  Json counts_json = Json::object();
  for (const char* t : kPeriodTables) {
    counts_json[t] = db.CountPeriod(t, current);
  }
  db.Close();
  const std::optional<LogEntry> last = LastClose(target);

  if (json) {
    out << Dump({{"database", target.label},
                 {"currentPeriod", ToText(current)},
                 {"nextPeriod", ToText({ny, np})},
                 {"costBalance",
                  {{"rows", rows.size()},
                   {"totalRows", totals},
                   {"FBegBal", beg},
                   {"FAccount", acc},
                   {"FEndBal", end},
                   {"FCompleQty", done}}},
                 {"batches", batch_json},
                 {"periodRows", counts_json},
                 {"lastClose", last ? LogEntryJson(*last) : Json()}})
        << "\n";
    return kExitOk;
  }

  out << "Database:       " << target.label << "\n"
      << "Current period: " << ToText(current) << "\n"
      << "Next period:    " << ToText({ny, np}) << "\n"
      << "Last close:     ";
  if (last) {
    out << last->from << " into " << last->to << " on " << last->ended
        << " UTC by " << last->operator_name << "@" << last->host << "\n\n";
  } else {
    out << "none logged\n\n";
  }
  out << "Cost balance of " << ToText(current) << ": " << rows.size()
      << " rows, " << totals << " department-product totals\n";
  TextTable sums({"beginning balance", "period amount", "ending balance",
                  "completed quantity"});
  for (size_t c = 0; c < 4; ++c) sums.SetRightAligned(c);
  sums.AddRow({Amount(beg), Amount(acc), Amount(end), Amount(done)});
  out << sums.Render("  ");
  if (type1 > 0) {
    out << "  Note: these totals cover every product; list balances leaves "
           "out the "
        << type1 << " products of type 1.\n";
  }
  if (!rows.empty() && beg == 0 && acc == 0 && end == 0) {
    out << "  Note: the total rows of a period just opened read 0; its next "
           "costing run computes them (the items carry the opening "
           "balances).\n";
  }
  out << "\n";

  TextTable batch(
      {"batch product", "name", "batch quantity", "completed", "state"});
  batch.SetRightAligned(2);
  batch.SetRightAligned(3);
  for (const Json& b : batch_json) {
    batch.AddRow({b["FID"].get<std::string>(), b["FName"].get<std::string>(),
                  Amount(b["FComQty"].get<double>()),
                  Amount(b["FComedQty"].get<double>()),
                  b["complete"].get<bool>() ? "complete" : "in production"});
  }
  out << "Batch products through " << ToText(current) << ": "
      << batch_json.size() << " (" << complete << " complete)\n";
  if (batch.RowCount() > 0) out << batch.Render("  ");
  out << "\n";

  out << "Rows of " << ToText(current) << ":\n";
  TextTable counts({"table", "rows"});
  counts.SetRightAligned(1);
  for (const auto& [table, n] : counts_json.items()) {
    counts.AddRow({table, std::to_string(n.get<int64_t>())});
  }
  out << counts.Render("  ");
  return kExitOk;
}

namespace {

struct StatusOptions {
  ConnectionOptions connection;
  std::string format = "table";
};

CommandRunner SetupStatus(CLI::App* sub) {
  auto o = std::make_shared<StatusOptions>();
  AddConnectionOptions(sub, &o->connection);
  sub->add_option("--format", o->format, "table (default) or json")
      ->check(CLI::IsMember({"table", "json"}));
  sub->footer("Exit status: 0 shown; 2 usage; 3 a component error.");
  return [o] {
    return RunGuarded("status", [&] {
      return RunStatus(OpenTarget(o->connection), std::cout,
                       o->format == "json");
    });
  };
}

const CommandRegistration kStatus(
    "status", 30,
    "Current and next period, cost balance totals, batch completion and "
    "the current period's rows",
    SetupStatus);

}  // namespace

}  // namespace marl::cli
