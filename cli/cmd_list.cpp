// marl-checkout list: the four cost balance lists of CheckOutInfo.
//
//   list balances      [--year Y --period P] [--dept D] [--filter SQL]
//                      [--full|--no-full]                       GetList
//   list costs         [--filter SQL]                           GetCostList
//   list balances-dept [--year Y --period P] --dept D [--filter SQL]
//                      [--type N]                               GetBalList
//   list batches       [--year Y --period P] [--filter SQL]     GetBatchList
//   all with [--format table|csv|json] (default table)
//
// The period (--period YYYY/P, or --year Y --period P) defaults to the
// current period of the profile (costs always lists up to it). The table
// reads as a ledger (list_format.h); --raw gives every column headed by its
// name with the values as stored. --filter is an SQL condition over the list's
// columns, passed to the component as written. Tables align Chinese text by
// its display width; CSV has a header line and quotes where needed; JSON is
// an array of objects keyed by column name.
#include <iostream>

#include "data/provider.h"
#include "list_format.h"
#include "marlcheckout/check_out_info.h"
#include "operator.h"
#include "table_format.h"

namespace marl::cli {

namespace {

struct ListOptions {
  ConnectionOptions connection;
  std::string kind;
  std::optional<int32_t> year;
  std::string period;  // YYYY/P, or P with --year
  bool raw = false;
  std::vector<std::string> columns;
  std::string dept;
  bool dept_given = false;
  std::string filter;
  bool full = true;
  bool full_given = false;
  std::optional<int32_t> type;
  std::string format = "table";
};

std::vector<std::string> Columns(const ItemList& list) {
  std::vector<std::string> columns;
  if (list.UBound() >= 1) {
    if (auto first = list.Record(1)) columns = first->Keys();
  }
  return columns;
}

void PrintList(const ItemList& list, const ListOptions& o, std::ostream& out) {
  const std::string& format = o.format;
  if (format == "table" && !o.raw) {
    PrintLedger(list, {o.columns, 120}, out);
    return;
  }
  if (format == "json") {
    Json rows = Json::array();
    for (int32_t i = 1; i <= list.UBound(); ++i) {
      rows.push_back(ToJson(list.Item(i)));
    }
    out << rows.dump(2, ' ', false, Json::error_handler_t::replace) << "\n";
    return;
  }
  const std::vector<std::string> columns = Columns(list);
  if (format == "csv") {
    for (size_t c = 0; c < columns.size(); ++c) {
      out << (c ? "," : "") << CsvField(columns[c]);
    }
    if (!columns.empty()) out << "\r\n";
    for (int32_t i = 1; i <= list.UBound(); ++i) {
      auto row = list.Record(i);
      for (size_t c = 0; c < columns.size(); ++c) {
        out << (c ? "," : "")
            << CsvField(row ? CellText(row->Value(columns[c])) : "");
      }
      out << "\r\n";
    }
    return;
  }
  if (columns.empty()) {
    out << "(no rows)\n";
    return;
  }
  TextTable table(columns);
  std::vector<bool> numeric(columns.size(), false);
  for (int32_t i = 1; i <= list.UBound(); ++i) {
    auto row = list.Record(i);
    std::vector<std::string> cells;
    for (size_t c = 0; c < columns.size(); ++c) {
      Variant v = row ? row->Value(columns[c]) : Variant();
      if (v.IsNumeric() && v.Type() != VarType::Bool) numeric[c] = true;
      cells.push_back(CellText(v));
    }
    table.AddRow(std::move(cells));
  }
  for (size_t c = 0; c < columns.size(); ++c) {
    table.SetRightAligned(c, numeric[c]);
  }
  out << table.Render() << "(" << list.UBound() << " rows)\n";
}

int RunList(const ListOptions& o) {
  // The tool's own reads and the component's call share one connection to
  // the database where the data layer can reuse it.
  data::ConnectionReuseScope reuse;
  Target t = OpenTarget(o.connection);
  std::optional<YearPeriod> asked;
  if (o.period.find('/') != std::string::npos) {
    if (o.year) throw UsageError("--period YYYY/P takes no --year");
    asked = ParseYearPeriod(o.period);
  } else if (o.year.has_value() != !o.period.empty()) {
    throw UsageError("give --period YYYY/P (or --year Y with --period P)");
  } else if (o.year) {
    asked = ParseYearPeriod(std::to_string(*o.year) + "/" + o.period);
  }
  const bool has_period = asked.has_value();
  auto refuse_option = [&](bool given, const char* option) {
    if (given) {
      throw UsageError("list " + o.kind + " takes no " + option);
    }
  };
  if (o.kind != "balances") refuse_option(o.full_given, "--full/--no-full");
  if (o.kind != "balances-dept") refuse_option(o.type.has_value(), "--type");
  if (o.kind == "costs") {
    refuse_option(has_period,
                  "--year/--period (it lists up to the current "
                  "period)");
  }
  if (o.kind == "costs" || o.kind == "batches") {
    refuse_option(o.dept_given, "--dept");
  }
  if (o.kind == "balances-dept" && !o.dept_given) {
    throw UsageError("list balances-dept needs --dept");
  }
  YearPeriod period = asked.value_or(YearPeriod{});
  int64_t type1 = 0;
  if (o.kind != "costs") {
    Database db(t);
    if (!has_period) period = db.CurrentPeriod();
    const int32_t count = db.PeriodCount();
    if (count > 0 && period.period > count) {
      throw UsageError("period " + std::to_string(period.period) +
                       " is out of range: the year has " +
                       std::to_string(count) + " periods");
    }
    if (o.kind == "balances") type1 = db.Count("CB_BmProduct", "FType = 1");
  }
  auto info = NewComponent<CheckOutInfo>();
  std::shared_ptr<ItemList> list;
  if (o.kind == "balances") {
    list = info->GetList(t.dsn, period.year, period.period, o.dept, o.filter,
                         o.full);
  } else if (o.kind == "costs") {
    list = info->GetCostList(t.dsn, o.filter);
  } else if (o.kind == "balances-dept") {
    list = info->GetBalList(t.dsn, period.year, period.period, o.dept, o.filter,
                            o.type.value_or(1));
  } else {
    list = info->GetBatchList(t.dsn, period.year, period.period, o.filter);
  }
  PrintList(list ? *list : *ItemList::Create(), o, std::cout);
  if (o.format == "table" && type1 > 0) {
    std::cout << "Note: the " << type1
              << " products of type 1 are not in this list; the totals of "
                 "status include them.\n";
  }
  return kExitOk;
}

CommandRunner SetupList(CLI::App* sub) {
  auto o = std::make_shared<ListOptions>();
  AddConnectionOptions(sub, &o->connection);
  sub->add_option("kind", o->kind,
                  "balances (GetList), costs (GetCostList), balances-dept "
                  "(GetBalList) or batches (GetBatchList)")
      ->required()
      ->check(CLI::IsMember({"balances", "costs", "balances-dept", "batches"}));
  sub->add_option("--period", o->period,
                  "Period of the list, YYYY/P (or P with --year); default "
                  "the current one");
  sub->add_option("--year", o->year, "Year of the list (with --period P)");
  sub->add_option("--dept", o->dept, "Expense department code")
      ->each([o](const std::string&) { o->dept_given = true; });
  sub->add_option("--filter", o->filter,
                  "SQL condition over the list's columns");
  sub->add_flag("--full,!--no-full", o->full,
                "balances: also products with rows only in earlier periods "
                "(default) or not")
      ->each([o](const std::string&) { o->full_given = true; });
  sub->add_flag("--raw", o->raw,
                "table: every column, headed by its name, values as stored");
  sub->add_option("--columns", o->columns,
                  "table: the columns to show, by name (FBegBal,FEndBal,...)")
      ->delimiter(',');
  sub->add_option("--type", o->type,
                  "balances-dept: 0 leaves out products without a period "
                  "amount, 1 (default) applies --filter, 2 ignores it")
      ->check(CLI::Range(0, 2));
  sub->add_option("--format", o->format, "table (default), csv or json")
      ->check(CLI::IsMember({"table", "csv", "json"}));
  sub->footer("Exit status: 0 listed; 2 usage; 3 a component error.");
  return [o] { return RunGuarded("list", [&] { return RunList(*o); }); };
}

const CommandRegistration kList("list", 70,
                                "The cost balance lists (CheckOutInfo)",
                                SetupList);

}  // namespace

}  // namespace marl::cli
