// Cost of Translate(): the table command builder's parameterised INSERT, and
// a ~60-line daily-costing batch with variables, if exists and a Begin/End
// block. The provider caches translations by text, so this is paid once per
// distinct text.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "data/tsql/script.h"

namespace {

std::string BuilderInsert() {
  return "INSERT INTO CB_CostBalance (FYear,FPeriod,FCostID,FCostName,"
         "FExpDeptID,FExpDeptName,FProductID,FProductName,FExpenseID,FBegBal,"
         "FQty,FAccount,FCalPrice,FPrice,FEndBal,FCompleQty,FOnlineQty,"
         "FOnlineJorQty,FBatch)VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)";
}

std::string DayAccountBatch() {
  const std::vector<std::string> lines = {
      "Declare @NYear int",
      "Declare @NPeriod int",
      "Declare @YearPeriodCycle nvarchar(10)",
      "Declare @CurYear int",
      "Declare @CurPeriod int",
      "Declare @PerBeginDate datetime",
      "Declare @FPerEndDate datetime",
      "",
      "set @CurYear=2005",
      "set @CurPeriod=3",
      "set @NYear=2005",
      "set @NPeriod=4",
      "",
      "select @YearPeriodCycle=min(FYearPeriodCycle)",
      "From CBPeriodDate",
      "Where FYear=@NYear and FPeriod=@NPeriod",
      "",
      "select @PerBeginDate=FPeriodStartDay,",
      "       @FPerEndDate=FPeriodEndDay",
      "From CBPeriodDate",
      "Where FYear=@NYear and FPeriod=@NPeriod",
      "      and FYearPeriodCycle=@YearPeriodCycle",
      "",
      "if exists( select 1 from cbBalance where FYear=@CurYear and "
      "FPeriod=@CurPeriod )",
      "Begin",
      "",
      "    DELETE FROM DayCost_Balance WHERE FYear=@NYear",
      "                AND FPeriod=@NPeriod",
      "                AND FTypeID=1 and FYearPeriodCycle=@YearPeriodCycle",
      "",
      "    Insert Into DayCost_Balance(FYear,FPeriod,FDepID,FCostID,"
      "FProductID,FQty,FTypeID, ",
      "                                    "
      "FYearPeriodCycle,FPerBeginDate,FPerEndDate)",
      "    SELECT @NYear,@NPeriod,FDepID,FCostID,FProductID,FOnlnQty,1,",
      "               @YearPeriodCycle,@PerBeginDate,@FPerEndDate",
      "    From cbBalance",
      "    WHERE FYear=@CurYear",
      "          AND FPeriod=@CurPeriod",
      "          AND FTypeID=3",
      "",
      "    DELETE FROM DayCost_Balance",
      "        WHERE FYear=@NYear",
      "          AND FPeriod=@NPeriod and FYearPeriodCycle=@YearPeriodCycle",
      "          AND FTypeID=2",
      "",
      "    Insert Into DayCost_Balance(FYear,FPeriod,FDepID,FCostID,"
      "FProductID,FBegBal,FTypeID, ",
      "                                    "
      "FYearPeriodCycle,FPerBeginDate,FPerEndDate)",
      "    SELECT @NYear,@NPeriod,FDepID,FCostID,FProductID,FEndBal,2,",
      "               @YearPeriodCycle,@PerBeginDate,@FPerEndDate",
      "    From cbBalance",
      "    WHERE FYear=@CurYear",
      "          AND FPeriod=@CurPeriod",
      "          AND FTypeID=4",
      "",
      "    Update daycost_CostObjDetail SET FPrice=FSum/FQty",
      "        WHERE FQty<>0 AND FYear=@NYear",
      "          AND FPeriod=@NPeriod and FYearPeriodCycle=@YearPeriodCycle",
      "",
      "End",
      "",
  };
  std::string text;
  for (const std::string& l : lines) text += l + "\r\n";
  return text;
}

void BM_TranslateBuilderInsert(benchmark::State& state) {
  const std::string text = BuilderInsert();
  for (auto _ : state) {
    marl::data::tsql::Script s = marl::data::tsql::Translate(text);
    benchmark::DoNotOptimize(s);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_TranslateBuilderInsert);

void BM_TranslateDayAccountBatch(benchmark::State& state) {
  const std::string text = DayAccountBatch();
  for (auto _ : state) {
    marl::data::tsql::Script s = marl::data::tsql::Translate(text);
    benchmark::DoNotOptimize(s);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_TranslateDayAccountBatch);

}  // namespace

BENCHMARK_MAIN();
