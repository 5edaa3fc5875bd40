// Statement texts of the daily-costing steps of CloseData
// (DayCost_SetEndBal, DayCost_SetBegBal, SetDayAccount).
//
// Each builder returns the whole batch of one step: its lines in order, each
// followed by CR LF, with an extra CR LF where the batch keeps an empty line.
// The text is sent to the database in a single execute and must not change
// by one byte: the trace of the statements is compared with it.
//
// Values spliced into the texts:
// - dates as "YYYY-MM-DD" (four-digit year, two-digit month and day); the
//   time of day is dropped (the date is first rounded to the second, as the
//   automation date formatting does);
// - years and periods as plain decimal integers;
// - a cycle code between single quotes. A single quote inside a cycle code is
//   doubled before it is spliced, so that the code stays one literal and the
//   statement keeps its meaning whatever the caller passes (the code is
//   otherwise written unchanged).
//
// The builders are pure functions: no database, no state. Thread-safe.
#pragma once

#include <cstdint>
#include <string>

namespace marl::close_data {

// "YYYY-MM-DD" of an automation date (days since 1899-12-30).
std::string FormatDay(double ole_date);

// The daily-costing period values a DayCost_SetBegBal batch needs.
struct DayPeriod {
  double cur_begin = 0;    // "CurBeginDate"
  double cur_end = 0;      // "CurEndDate"
  std::string next_cycle;  // "NextYearPeriodCycle", as given (not escaped)
  double next_begin = 0;   // "NextBeginDate"
  double next_end = 0;     // "NextEndDate"
};

// DayCost_SetEndBal: rebuilds the type-3 and type-4 rows of the window
// [begin, end] from DayCost_ObjCheck and DayCost_Calinfo.
std::string SetEndBalText(int32_t year, int32_t period, double begin,
                          double end);

// DayCost_SetBegBal: carries the current window's type-3/4 rows and in-process
// detail into the next window.
std::string SetBegBalText(int32_t year, int32_t period, const DayPeriod& p);

// SetDayAccount: the server-side batch seeding the first daily-costing period
// of the next accounting period from the monthly close.
std::string SetDayAccountText(int32_t cur_year, int32_t cur_period,
                              int32_t next_year, int32_t next_period);

}  // namespace marl::close_data
