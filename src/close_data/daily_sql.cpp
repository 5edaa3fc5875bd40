#include "close_data/daily_sql.h"

#include <cstdio>

#include "common/globals.h"
#include "marlcheckout/variant.h"

namespace marl::close_data {
namespace {

constexpr std::string_view kCrLf = "\r\n";

// Accumulates a batch: every line is followed by CR LF.
class Batch {
 public:
  template <class... Parts>
  Batch& Line(const Parts&... parts) {
    (text_.append(std::string_view(parts)), ...);
    text_.append(kCrLf);
    return *this;
  }
  // An empty line (one more CR LF).
  Batch& Blank() {
    text_.append(kCrLf);
    return *this;
  }
  std::string Take() { return std::move(text_); }

 private:
  std::string text_;
};

}  // namespace

std::string FormatDay(double ole_date) {
  int y = 0, m = 0, d = 0;
  Variant::SplitDate(ole_date, &y, &m, &d, nullptr, nullptr, nullptr);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", y, m, d);
  return buf;
}

std::string SetEndBalText(int32_t year, int32_t period, double begin,
                          double end) {
  const std::string b = FormatDay(begin);
  const std::string e = FormatDay(end);
  const std::string y = std::to_string(year);
  const std::string p = std::to_string(period);
  Batch t;
  t.Line("Delete DayCost_Balance WHERE FOnlnQty<>0 AND FPerBeginDate>='", b,
         "'", " AND FPerEndDate<='", e, "'");
  t.Line(
      "INSERT INTO "
      "DayCost_Balance(FYear,FPeriod,FDepID,FCostID,FProductID,FOnlnQty,"
      "FTypeID,FPerBeginDate,FPerEndDate,FYearPeriodCycle)");
  t.Line("SELECT ", y, ",", p,
         ",FDeptID,0,FCostObjID,FQty,3 ,FPerBeginDate,FPerEndDate,"
         "FYearPeriodCycle ");
  t.Line("FROM DayCost_ObjCheck ");
  t.Line("WHERE FQty>0 AND FPerBeginDate>='", b, "'", " AND FPerEndDate<='", e,
         "'");
  t.Line("Delete DayCost_Balance WHERE FEndBal<>0 AND  FPerBeginDate>='", b,
         "'", " AND FPerEndDate<='", e, "'");
  t.Line(
      "INSERT INTO "
      "DayCost_Balance(FYear,FPeriod,FDepID,FCostID,FProductID,FEndBal,"
      "FTypeID,FPerBeginDate,FPerEndDate,FYearPeriodCycle)");
  t.Line("SELECT ", y, ",", p,
         ",FDeptID,FCostItemID,FCostObjID,FOnlineAmount,4 ,FPerBeginDate,"
         "FPerEndDate,FYearPeriodCycle ");
  t.Line("FROM DayCost_Calinfo ");
  t.Line("WHERE FPerBeginDate>='", b, "'", " AND FPerEndDate<='", e, "'");
  t.Line("   AND FCostItemID<>0 AND FOnlineAmount<>0 ");
  return t.Take();
}

std::string SetBegBalText(int32_t year, int32_t period, const DayPeriod& p) {
  const std::string nb = FormatDay(p.next_begin);
  const std::string ne = FormatDay(p.next_end);
  const std::string cb = FormatDay(p.cur_begin);
  const std::string ce = FormatDay(p.cur_end);
  const std::string nc = common::QuoteDoubled(p.next_cycle);
  const std::string y = std::to_string(year);
  const std::string pe = std::to_string(period);
  Batch t;
  t.Line("DELETE FROM DayCost_Balance ");
  t.Line("WHERE FTypeID=1 AND FPerBeginDate>='", nb, "' AND FPerEndDate<='", ne,
         "'");
  t.Line(
      "Insert Into "
      "DayCost_Balance(FYear,FPeriod,FDepID,FCostID,FProductID,FQty,FTypeID,"
      "FPerBeginDate,FPerEndDate,FYearPeriodCycle)");
  t.Line("SELECT FYear,FPeriod,FDepID,FCostID,FProductID,FOnlnQty,1,'", nb,
         "','", ne, "','", nc, "'");
  t.Line("FROM DayCost_Balance ");
  t.Line("WHERE FTypeID=3 AND FPerBeginDate>='", cb, "' AND FPerEndDate<='", ce,
         "'");
  t.Line("DELETE FROM DayCost_Balance ");
  t.Line("WHERE FTypeID=2 AND FPerBeginDate>='", nb, "' AND FPerEndDate<='", ne,
         "'");
  t.Line(
      "Insert Into "
      "DayCost_Balance(FYear,FPeriod,FDepID,FCostID,FProductID,FBegBal,FTypeID,"
      "FPerBeginDate,FPerEndDate,FYearPeriodCycle)");
  t.Line("SELECT FYear,FPeriod,FDepID,FCostID,FProductID,FEndBal,2,'", nb,
         "','", ne, "','", nc, "'");
  t.Line("FROM DayCost_Balance ");
  t.Line("WHERE FTypeID=4 AND FPerBeginDate>='", cb, "' AND FPerEndDate<='", ce,
         "'");
  t.Line("DELETE FROM DayCost_CostObjDetail ");
  t.Line("WHERE FPerBeginDate>='", nb, "' AND FPerEndDate<='", ne, "'");
  t.Line(
      "INSERT INTO "
      "DayCost_CostObjDetail(FYear,FPeriod,FDepID,FCostObjID,FCostItemID,"
      "FMaterielID,FBatchNo,FQty,FSum,FPerBeginDate,FPerEndDate,"
      "FYearPeriodCycle)");
  t.Line("SELECT ", y, ",", pe,
         ",FDeptID , FCostObjID, FCostItemID, FMaterielID, FBatchNo,  "
         "FOnlineQty,FOnlineAmount,'",
         nb, "','", ne, "','", nc, "'");
  t.Line("FROM DayCost_CalinfoDetail ");
  t.Line("WHERE FPerBeginDate>='", cb, "' AND FPerEndDate<='", ce, "'");
  t.Line("   AND not(FOnlineQty=0 AND FOnlineAmount=0) ");
  t.Line("Update DayCost_CostObjDetail ");
  t.Line("   SET FPrice=FSum/FQty ");
  t.Line("WHERE FQty<>0 AND FPerBeginDate>='", nb, "' AND FPerEndDate<='", ne,
         "'");
  t.Blank();
  return t.Take();
}

std::string SetDayAccountText(int32_t cur_year, int32_t cur_period,
                              int32_t next_year, int32_t next_period) {
  Batch t;
  t.Line("Declare @NYear int");
  t.Line("Declare @NPeriod int");
  t.Line("Declare @YearPeriodCycle nvarchar(10)");
  t.Line("Declare @CurYear int");
  t.Line("Declare @CurPeriod int");
  t.Line("Declare @PerBeginDate datetime");
  t.Line("Declare @FPerEndDate datetime").Blank();
  t.Line("set @CurYear=", std::to_string(cur_year));
  t.Line("set @CurPeriod=", std::to_string(cur_period));
  t.Line("set @NYear=", std::to_string(next_year));
  t.Line("set @NPeriod=", std::to_string(next_period)).Blank();
  t.Line("select @YearPeriodCycle=min(FYearPeriodCycle)");
  t.Line("From CBPeriodDate");
  t.Line("Where FYear=@NYear and FPeriod=@NPeriod").Blank();
  t.Line("select @PerBeginDate=FPeriodStartDay,");
  t.Line("       @FPerEndDate=FPeriodEndDay");
  t.Line("From CBPeriodDate");
  t.Line("Where FYear=@NYear and FPeriod=@NPeriod");
  t.Line("      and FYearPeriodCycle=@YearPeriodCycle").Blank();
  t.Line(
      "if exists( select 1 from cbBalance where FYear=@CurYear and "
      "FPeriod=@CurPeriod )");
  t.Line("Begin").Blank();
  t.Line("    DELETE FROM DayCost_Balance WHERE FYear=@NYear");
  t.Line("                AND FPeriod=@NPeriod");
  t.Line("                AND FTypeID=1 and FYearPeriodCycle=@YearPeriodCycle")
      .Blank();
  t.Line(
      "    Insert Into "
      "DayCost_Balance(FYear,FPeriod,FDepID,FCostID,FProductID,FQty,FTypeID, ");
  t.Line(
      "                                    "
      "FYearPeriodCycle,FPerBeginDate,FPerEndDate)");
  t.Line("    SELECT @NYear,@NPeriod,FDepID,FCostID,FProductID,FOnlnQty,1,");
  t.Line("               @YearPeriodCycle,@PerBeginDate,@FPerEndDate");
  t.Line("    From cbBalance");
  t.Line("    WHERE FYear=@CurYear");
  t.Line("          AND FPeriod=@CurPeriod");
  t.Line("          AND FTypeID=3").Blank();
  t.Line("    DELETE FROM DayCost_Balance");
  t.Line("        WHERE FYear=@NYear");
  t.Line(
      "          AND FPeriod=@NPeriod and FYearPeriodCycle=@YearPeriodCycle");
  t.Line("          AND FTypeID=2").Blank();
  t.Line(
      "    Insert Into "
      "DayCost_Balance(FYear,FPeriod,FDepID,FCostID,FProductID,FBegBal,"
      "FTypeID, ");
  t.Line(
      "                                    "
      "FYearPeriodCycle,FPerBeginDate,FPerEndDate)");
  t.Line("    SELECT @NYear,@NPeriod,FDepID,FCostID,FProductID,FEndBal,2,");
  t.Line("               @YearPeriodCycle,@PerBeginDate,@FPerEndDate");
  t.Line("    From cbBalance");
  t.Line("    WHERE FYear=@CurYear");
  t.Line("          AND FPeriod=@CurPeriod");
  t.Line("          AND FTypeID=4").Blank();
  t.Line("    DELETE FROM daycost_CostObjDetail");
  t.Line("        WHERE FYear=@NYear");
  t.Line("          AND FPeriod=@NPeriod and FYearPeriodCycle=@YearPeriodCycle")
      .Blank();
  t.Line(
      "    INSERT INTO "
      "daycost_CostObjDetail(FYear,FPeriod,FDepID,FCostObjID,FCostItemID,"
      "FMaterielID,FBatchNo,FQty,FSum, ");
  t.Line(
      "                                          "
      "FYearPeriodCycle,FPerBeginDate,FPerEndDate)");
  t.Line(
      "    SELECT @NYear,@NPeriod,FDeptID , FCostObjID, FCostItemID, "
      "FMaterielID, FBatchNo,  FOnlineQty,FOnlineAmount,");
  t.Line("               @YearPeriodCycle,@PerBeginDate,@FPerEndDate");
  t.Line("    From cbCalinfoDetail");
  t.Line("    WHERE FYear=@CurYear");
  t.Line("          AND FPeriod=@CurPeriod");
  t.Line("          AND not(FOnlineQty=0 AND FOnlineAmount=0)").Blank();
  t.Line("    Update daycost_CostObjDetail SET FPrice=FSum/FQty");
  t.Line("        WHERE FQty<>0 AND FYear=@NYear");
  t.Line("          AND FPeriod=@NPeriod and FYearPeriodCycle=@YearPeriodCycle")
      .Blank();
  t.Line("End").Blank();
  return t.Take();
}

}  // namespace marl::close_data
