// CloseData: monthly balance carry-forward, standard and allocation data,
// cost-revert carry-forward, history archiving and check reset.
//
// Every step sends its statement texts (monthly_sql.h) over one connection
// of its own inside the transaction CloseData requires, and votes on the
// outcome:
// - SetEndBal, SetBegBal, SetCurrentPeriod and the five standard and
//   allocation copies pass a failure on unchanged after an abort vote;
//   SetBegBal renders the description in the caller's language ("Language"
//   of the connection property string). SetBegBal and the copies vote abort
//   first, so that any exit before the end leaves an abort vote.
// - The three cost-revert moves vote abort first and put their own name
//   directly in front of the source of a failure.
// - The two distribution moves and EndHistoryData catch nothing and cast no
//   vote on failure; the transaction of a root call rolls back on the error.
//   EndHistoryData runs both moves on new objects created through its object
//   context, by name, so that they run in its transaction; an error of the
//   first stops the second.
// - UnCheckOnlineBalance votes abort on failure and puts its own name, CRLF,
//   in front of the source.
// SetStdCostData clears the next period's rows of all six tables it copies
// before copying (not only four of them), so that a second run over the same
// next period gives the same rows as one run instead of adding second copies
// of the fixed-overhead budgets and budgeted outputs.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "close_data/monthly_sql.h"
#include "common/globals.h"
#include "frame/frame.h"
#include "marlcheckout/close_data.h"
#include "marlcheckout/error.h"

namespace marl {

namespace {

using close_data::CopyTable;
using close_data::RevertTable;

// Pass-through with an abort vote.
constexpr frame::FailureForm kPassThrough = frame::PassOn(frame::Vote::kAbort);
// Pass-through with an abort vote and the description in the caller's
// language.
constexpr frame::FailureForm kPassThroughTranslated =
    frame::PassOn(frame::Vote::kAbort, frame::Description::kTranslated);

constexpr frame::FailureForm kRevertStdForm = frame::PrefixSource(
    "MarlCheckOut.CloseData.SetCostRevertStd", frame::Vote::kAbort,
    frame::Description::kAsRaised, frame::Trail::kDirect);
constexpr frame::FailureForm kRevertRealEndStkForm = frame::PrefixSource(
    "MarlCheckOut.CloseData.SetCostRevertRealEndStk", frame::Vote::kAbort,
    frame::Description::kAsRaised, frame::Trail::kDirect);
constexpr frame::FailureForm kRevertRealEndBalForm = frame::PrefixSource(
    "MarlCheckOut.CloseData.SetCostRevertRealEndBal", frame::Vote::kAbort,
    frame::Description::kAsRaised, frame::Trail::kDirect);

constexpr frame::FailureForm kUnCheckForm = frame::PrefixSource(
    "MarlCheckOut.CloseData.UnCheckOnlineBalance", frame::Vote::kAbort,
    frame::Description::kAsRaised, frame::Trail::kCrLf);

// Activation, one connection, the texts in order (one execute each), close,
// commit vote.
void SendAll(frame::Method& m, const std::string& sDsn,
             const std::vector<std::string>& texts) {
  m.InitDataEnv(sDsn);
  auto cn = m.OpenConnection();
  for (const std::string& text : texts) cn->Execute(text);
  m.CloseConnections();
  m.SetComplete();
}

}  // namespace

void CloseData::SetEndBal(const std::string& sDsn, int16_t iYear,
                          int16_t iPeriod) {
  Run(kPassThrough, [&](frame::Method& m) {
    SendAll(m, sDsn, close_data::EndBalTexts(iYear, iPeriod));
  });
}

void CloseData::SetBegBal(const std::string& sDsn, int16_t iYear,
                          int16_t iPeriod, int16_t iNextYear,
                          int16_t iNextPeriod) {
  Run(kPassThroughTranslated, [&](frame::Method& m) {
    m.SetAbort();
    m.set_language(common::GetPropValue(sDsn, "Language"));
    SendAll(m, sDsn,
            close_data::BegBalTexts(iYear, iPeriod, iNextYear, iNextPeriod));
  });
}

Variant CloseData::SetCurrentPeriod(const std::string& sDsn, int16_t iNextYear,
                                    int16_t iNextPeriod, bool& bUnClosed) {
  Run(kPassThrough, [&](frame::Method& m) {
    SendAll(m, sDsn,
            close_data::CurrentPeriodTexts(iNextYear, iNextPeriod, bUnClosed));
  });
  return Variant();
}

void CloseData::SetStandardData(const std::string& sDsn, int16_t iYear,
                                int16_t iPeriod, int16_t iNextYear,
                                int16_t iNextPeriod) {
  Run(kPassThrough, [&](frame::Method& m) {
    m.SetAbort();
    SendAll(m, sDsn,
            close_data::SingleCopyTexts(CopyTable::kRationStandard, iYear,
                                        iPeriod, iNextYear, iNextPeriod));
  });
}

void CloseData::SetStdCostData(const std::string& sDsn, int16_t iYear,
                               int16_t iPeriod, int16_t iNextYear,
                               int16_t iNextPeriod) {
  Run(kPassThrough, [&](frame::Method& m) {
    m.SetAbort();
    SendAll(m, sDsn,
            close_data::StdCostTexts(iYear, iPeriod, iNextYear, iNextPeriod));
  });
}

void CloseData::SetCostTypeData(const std::string& sDsn, int16_t iYear,
                                int16_t iPeriod, int16_t iNextYear,
                                int16_t iNextPeriod) {
  Run(kPassThrough, [&](frame::Method& m) {
    m.SetAbort();
    SendAll(m, sDsn,
            close_data::SingleCopyTexts(CopyTable::kCostType, iYear, iPeriod,
                                        iNextYear, iNextPeriod));
  });
}

void CloseData::SetCostSortData(const std::string& sDsn, int16_t iYear,
                                int16_t iPeriod, int16_t iNextYear,
                                int16_t iNextPeriod) {
  Run(kPassThrough, [&](frame::Method& m) {
    m.SetAbort();
    SendAll(m, sDsn,
            close_data::SingleCopyTexts(CopyTable::kSortStandard, iYear,
                                        iPeriod, iNextYear, iNextPeriod));
  });
}

void CloseData::SetCostDeputyData(const std::string& sDsn, int16_t iYear,
                                  int16_t iPeriod, int16_t iNextYear,
                                  int16_t iNextPeriod) {
  Run(kPassThrough, [&](frame::Method& m) {
    m.SetAbort();
    SendAll(m, sDsn,
            close_data::SingleCopyTexts(CopyTable::kDeputy, iYear, iPeriod,
                                        iNextYear, iNextPeriod));
  });
}

void CloseData::SetCostRevertStd(const std::string& sDsn, int32_t lYear,
                                 int32_t lPeriod, bool bEnd) {
  Run(kRevertStdForm, [&](frame::Method& m) {
    m.SetAbort();
    SendAll(
        m, sDsn,
        {close_data::CostRevertText(RevertTable::kStd, lYear, lPeriod, bEnd)});
  });
}

void CloseData::SetCostRevertRealEndStk(const std::string& sDsn, int32_t lYear,
                                        int32_t lPeriod, bool bEnd) {
  Run(kRevertRealEndStkForm, [&](frame::Method& m) {
    m.SetAbort();
    SendAll(m, sDsn,
            {close_data::CostRevertText(RevertTable::kRealEndStk, lYear,
                                        lPeriod, bEnd)});
  });
}

void CloseData::SetCostRevertRealEndBal(const std::string& sDsn, int32_t lYear,
                                        int32_t lPeriod, bool bEnd) {
  Run(kRevertRealEndBalForm, [&](frame::Method& m) {
    m.SetAbort();
    SendAll(m, sDsn,
            {close_data::CostRevertText(RevertTable::kRealEndBal, lYear,
                                        lPeriod, bEnd)});
  });
}

bool CloseData::EndHistoryData(const std::string& sDsn, int32_t lYear,
                               int32_t lPeriod, bool bEnd) {
  return Run(frame::Untouched(), [&](frame::Method& m) {
    for (const char* step : {"EndMatDistributeData", "EndExpDistributeData"}) {
      std::shared_ptr<Dispatchable> mover = m.context().CreateInstance(kProgId);
      mover->Invoke(step, {Variant::Text(sDsn), Variant::I4(lYear),
                           Variant::I4(lPeriod), Variant::Bool(bEnd)});
    }
    m.SetComplete();
    return false;
  });
}

bool CloseData::EndMatDistributeData(const std::string& sDsn, int32_t lYear,
                                     int32_t lPeriod, bool bEnd) {
  return Run(frame::Untouched(), [&](frame::Method& m) {
    SendAll(m, sDsn, {close_data::MatDistributeText(lYear, lPeriod, bEnd)});
    return false;
  });
}

bool CloseData::EndExpDistributeData(const std::string& sDsn, int32_t lYear,
                                     int32_t lPeriod, bool bEnd) {
  return Run(frame::Untouched(), [&](frame::Method& m) {
    SendAll(m, sDsn, {close_data::ExpDistributeText(lYear, lPeriod, bEnd)});
    return false;
  });
}

void CloseData::UnCheckOnlineBalance(const std::string& sDsn, int32_t lYear,
                                     int32_t lPeriod) {
  Run(kUnCheckForm, [&](frame::Method& m) {
    m.SetAbort();
    SendAll(m, sDsn, {close_data::UnCheckText(lYear, lPeriod)});
  });
}

}  // namespace marl
