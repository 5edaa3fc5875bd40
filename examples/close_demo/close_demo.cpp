// close_demo: closes the current period of a company database through the
// public classes, then lists the cost balances of the period just opened.
//
//   close_demo DATABASE.db     (an SQLite file, e.g. made by
//                               `marl-checkout init --db DATABASE.db --demo`)
//   close_demo 'ConnectString={...};DBMS Name=...;...'   (any database)
//
// The whole close runs in one transaction scope: every object created while
// the scope is current joins it, and leaving the scope without Commit()
// (an error thrown by any step) rolls every step back.
#include <marlcheckout/marlcheckout.h>

#include <cstdint>
#include <iostream>
#include <memory>
#include <string>

namespace {

// The connection property string of an SQLite database file.
std::string SqliteDsn(const std::string& path) {
  return "ConnectString={Provider=SQLite;Data Source=" + path +
         "};DBMS Name=SQLite;DBMS Version=3;LANGUAGE=en";
}

void PrintList(const marl::ItemList& list) {
  std::cout << list.Count() << " rows\n";
  for (int32_t i = 1; i <= list.UBound(); ++i) {
    std::shared_ptr<marl::FieldValueSet> row = list.Record(i);
    if (!row) continue;
    const char* separator = "";
    for (const std::string& key : row->Keys()) {
      const marl::Variant value = row->Value(key);
      std::cout << separator << key << "="
                << (value.IsEmptyOrNull() ? "" : value.ToText());
      separator = " ";
    }
    std::cout << "\n";
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: close_demo DATABASE.db | CONNECTION-STRING\n";
    return 2;
  }
  const std::string arg = argv[1];
  const std::string dsn =
      arg.find("ConnectString=") == std::string::npos ? SqliteDsn(arg) : arg;
  try {
    int32_t year = 0, period = 0, next_year = 0, next_period = 0;
    {
      marl::TransactionScope scope;
      auto update = marl::CheckOutUpdate::Create();
      auto close = marl::CloseData::Create();
      marl::Variant balances, batches;
      update->TransPeriod(dsn, balances, batches, year, period, next_year,
                          next_period);
      std::cout << "Closing " << year << "/" << period << " into " << next_year
                << "/" << next_period << "\n";
      const auto y = static_cast<int16_t>(year);
      const auto p = static_cast<int16_t>(period);
      const auto ny = static_cast<int16_t>(next_year);
      const auto np = static_cast<int16_t>(next_period);
      close->SetEndBal(dsn, y, p);
      close->SetBegBal(dsn, y, p, ny, np);
      close->SetStandardData(dsn, y, p, ny, np);
      close->SetStdCostData(dsn, y, p, ny, np);
      close->SetCostTypeData(dsn, y, p, ny, np);
      close->SetCostSortData(dsn, y, p, ny, np);
      close->SetCostDeputyData(dsn, y, p, ny, np);
      close->SetDayAccount(dsn, year, period, next_year, next_period);
      close->SetCostRevertStd(dsn, year, period, true);
      close->SetCostRevertRealEndStk(dsn, year, period, true);
      close->SetCostRevertRealEndBal(dsn, year, period, true);
      close->EndHistoryData(dsn, year, period, true);
      update->UpdateCostBalance(dsn);
      close->SetCurrentPeriod(dsn, ny, np);
      scope.Commit();
    }
    std::cout << "Cost balances of " << next_year << "/" << next_period << ": ";
    auto info = marl::CheckOutInfo::Create();
    PrintList(*info->GetList(dsn, next_year, next_period));
  } catch (const marl::Error& e) {
    std::cerr << "close_demo: error " << e.number() << " (" << e.source()
              << "): " << e.description() << "\n";
    return 3;
  }
  return 0;
}
