// CloseData: daily-costing balances.
//
// DayCost_SetEndBal, DayCost_SetBegBal and SetDayAccount each build their
// whole batch (daily_sql.h) and send it in one execute on the method's own
// connection, then vote SetComplete. On failure each leaves an abort vote,
// closes its connection when it is open and raises the error again with
// number, help file and help context unchanged:
// - DayCost_SetEndBal: source "MarlCheckOut.CloseData.DayCost_SetEndBal",
//   CR LF, the caught source; description unchanged.
// - DayCost_SetBegBal: source "MarlCheckOut.CloseData.DayCost_SetBegBal",
//   CR LF, the caught source; description rendered in the caller's language
//   (LoadResText). The method votes abort before anything else.
// - SetDayAccount: source "MarlCehckOut.CloseData.SetDayAccount" directly
//   followed by the caught source (that spelling is what callers have always
//   received, and stays); description rendered in the caller's language.
//
// Choices made here:
// - A single quote inside a cycle code is doubled before it is spliced into
//   a statement (see daily_sql.h).
// - DayCost_SetBegBal refuses a date entry of dctPeriod that is absent,
//   empty or null (error 94, "Invalid use of Null") instead of writing the
//   zero date 1899-12-30 into the window: a zero begin date would make the
//   deletes of the next period reach back over the whole history. The
//   description of that error is rendered with an empty language, as for
//   every failure while dctPeriod is read (the language is read after it).
// - A null dctPeriod raises 91 (object not set) on the same path.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "close_data/daily_sql.h"
#include "common/globals.h"
#include "frame/frame.h"
#include "marlcheckout/close_data.h"
#include "marlcheckout/error.h"

namespace marl {
namespace {

constexpr frame::FailureForm kSetEndBalForm = frame::PrefixSource(
    "MarlCheckOut.CloseData.DayCost_SetEndBal", frame::Vote::kAbort,
    frame::Description::kAsRaised, frame::Trail::kCrLf);
constexpr frame::FailureForm kSetBegBalForm = frame::PrefixSource(
    "MarlCheckOut.CloseData.DayCost_SetBegBal", frame::Vote::kAbort,
    frame::Description::kTranslated, frame::Trail::kCrLf);
constexpr frame::FailureForm kSetDayAccountForm = frame::PrefixSource(
    "MarlCehckOut.CloseData.SetDayAccount", frame::Vote::kAbort,
    frame::Description::kTranslated, frame::Trail::kDirect);

// A date entry of the period set; absent, empty and null are refused.
double ReadDate(const FieldValueSet& set, std::string_view key) {
  Variant v = set.Value(key);
  if (v.IsEmptyOrNull()) throw Error::Of(err::kInvalidUseOfNull);
  return v.ToDate();
}

// A text entry of the period set: absent or empty gives empty text, null
// fails (94) as any null read as text does.
std::string ReadText(const FieldValueSet& set, std::string_view key) {
  Variant v = set.Value(key);
  if (v.IsEmpty()) return std::string();
  return v.ToText();
}

// Sends one batch over a new connection of the method and closes it.
void SendBatch(frame::Method& m, const std::string& sDsn,
               const std::string& text) {
  m.InitDataEnv(sDsn);
  std::shared_ptr<data::Connection> cn = m.OpenConnection();
  cn->Execute(text, nullptr, data::ado::kOptionUnspecified);
  m.CloseConnections();
}

}  // namespace

void CloseData::DayCost_SetEndBal(const std::string& sDsn, int32_t lYear,
                                  int32_t lPeriod,
                                  const std::string& /*sYearPeriodCycle*/,
                                  double dBeginDate, double dEndDate) {
  Run(kSetEndBalForm, [&](frame::Method& m) {
    SendBatch(m, sDsn,
              close_data::SetEndBalText(lYear, lPeriod, dBeginDate, dEndDate));
    m.SetComplete();
  });
}

void CloseData::DayCost_SetBegBal(const std::string& sDsn, int32_t lYear,
                                  int32_t lPeriod,
                                  std::shared_ptr<FieldValueSet> dctPeriod) {
  // The abort vote comes first, before the failure handling is armed.
  auto vote_abort = [] {
    ObjectContext* context = GetObjectContext();
    if (context == nullptr) throw Error::Of(err::kObjectNotSet);
    context->SetAbort();
  };
  RunFrame(kSetBegBalForm, vote_abort, [&](frame::Method& m) {
    if (dctPeriod == nullptr) throw Error::Of(err::kObjectNotSet);
    const FieldValueSet& set = *dctPeriod;
    close_data::DayPeriod p;
    set.Value("CurYearPeriodCycle");  // read; enters no statement
    p.cur_begin = ReadDate(set, "CurBeginDate");
    p.cur_end = ReadDate(set, "CurEndDate");
    p.next_cycle = ReadText(set, "NextYearPeriodCycle");
    p.next_begin = ReadDate(set, "NextBeginDate");
    p.next_end = ReadDate(set, "NextEndDate");
    m.set_language(common::GetPropValue(sDsn, "Language"));
    SendBatch(m, sDsn, close_data::SetBegBalText(lYear, lPeriod, p));
    m.SetComplete();
  });
}

void CloseData::SetDayAccount(const std::string& sDsn, int32_t lCurYear,
                              int32_t lCurPeriod, int32_t lNYear,
                              int32_t lNPeriod) {
  // The language is read before the failure handling is armed.
  std::string language;
  auto read_language = [&] {
    language = common::GetPropValue(sDsn, "Language");
  };
  RunFrame(kSetDayAccountForm, read_language, [&](frame::Method& m) {
    m.set_language(language);
    SendBatch(
        m, sDsn,
        close_data::SetDayAccountText(lCurYear, lCurPeriod, lNYear, lNPeriod));
    m.SetComplete();
  });
}

}  // namespace marl
