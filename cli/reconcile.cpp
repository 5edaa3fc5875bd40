// The reconciliation of a close (see reconcile.h).
#include "reconcile.h"

#include <cmath>
#include <map>
#include <ostream>

#include "money.h"
#include "table_format.h"

namespace marl::cli {

namespace {

bool ZeroToTheCent(double d) { return std::fabs(d) < 0.005; }

std::string PeriodWhere(const YearPeriod& p) {
  return "FYear=" + std::to_string(p.year) +
         " AND FPeriod=" + std::to_string(p.period);
}

Json LineJson(const ReconLine& l) {
  return {{"dept", l.dept},
          {"closing", l.closing},
          {"opening", l.opening},
          {"difference", l.Difference()},
          {"balanced", l.Balanced()}};
}

}  // namespace

bool ReconLine::Balanced() const { return ZeroToTheCent(Difference()); }

bool Reconciliation::Balanced() const {
  if (!total.Balanced()) return false;
  for (const ReconLine& l : depts) {
    if (!l.Balanced()) return false;
  }
  return true;
}

Reconciliation Reconcile(Database& db, const YearPeriod& closed,
                         const YearPeriod& next) {
  std::map<std::string, ReconLine> by_dept;
  for (const auto& r :
       db.Rows("SELECT FDeptID, SUM(FOnlineAmount) FROM cbCalinfo WHERE " +
               PeriodWhere(closed) + " AND FCostItemID<>0 GROUP BY FDeptID")) {
    const std::string dept = CellText(r.at(0));
    by_dept[dept].dept = dept;
    by_dept[dept].closing += r.at(1).IsEmptyOrNull() ? 0 : r.at(1).ToDouble();
  }
  for (const auto& r :
       db.Rows("SELECT FDepID, SUM(FBegBal) FROM cbBalance "
               "WHERE " +
               PeriodWhere(next) + " AND FTypeID=2 GROUP BY FDepID")) {
    const std::string dept = CellText(r.at(0));
    by_dept[dept].dept = dept;
    by_dept[dept].opening += r.at(1).IsEmptyOrNull() ? 0 : r.at(1).ToDouble();
  }
  Reconciliation rec;
  for (auto& [dept, line] : by_dept) {
    rec.total.closing += line.closing;
    rec.total.opening += line.opening;
    rec.depts.push_back(line);
  }
  return rec;
}

Json ReconciliationJson(const Reconciliation& r, const YearPeriod& closed,
                        const YearPeriod& next) {
  Json depts = Json::array();
  for (const ReconLine& l : r.depts) depts.push_back(LineJson(l));
  Json total = LineJson(r.total);
  total.erase("dept");
  return {{"closed", ToText(closed)},
          {"next", ToText(next)},
          {"departments", depts},
          {"total", total},
          {"balanced", r.Balanced()}};
}

void PrintReconciliation(const Json& r, std::ostream& out) {
  if (!r.is_object()) return;
  out << "Reconciliation: closing work in process of "
      << r["closed"].get<std::string>() << " against the opening of "
      << r["next"].get<std::string>() << "\n";
  TextTable table(
      {"department", "closing WIP", "opening WIP", "difference", ""});
  for (size_t c = 1; c < 4; ++c) table.SetRightAligned(c);
  auto row = [&](const std::string& name, const Json& l) {
    table.AddRow({name, Money(l["closing"].get<double>()),
                  Money(l["opening"].get<double>()),
                  Money(l["difference"].get<double>()),
                  l["balanced"].get<bool>() ? "" : "<< difference"});
  };
  for (const Json& l : r["departments"]) row(l["dept"].get<std::string>(), l);
  row("total", r["total"]);
  out << table.Render("  ");
  if (!r["balanced"].get<bool>()) {
    out << "  The opening balances do not match the closing work in "
           "process (flagged above).\n";
  }
}

}  // namespace marl::cli
