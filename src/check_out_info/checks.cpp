// CheckOutInfo: the three pre-close checks. Each votes commit at once (they
// never write), sends one query over its own connection, detaches the
// recordset and answers from it. A failure casts no vote and reaches the
// caller with the check's name, CRLF, then the previous source.
#include <cstdint>
#include <memory>
#include <string>

#include "check_out_info/checks_sql.h"
#include "frame/frame.h"
#include "marlcheckout/check_out_info.h"
#include "marlcheckout/error.h"

namespace marl {

namespace {

constexpr frame::FailureForm kHasVoucherForm = frame::PrefixSource(
    "MarlCheckOut.CheckOutInfo.CheckHasVoucher", frame::Vote::kNone);
constexpr frame::FailureForm kCheckedOnlineBalanceForm = frame::PrefixSource(
    "MarlCheckOut.CheckOutInfo.HasCheckedOnlineBalance", frame::Vote::kNone);
constexpr frame::FailureForm kHaveRevertForm = frame::PrefixSource(
    "MarlCheckOut.CheckOutInfo.CheckHaveRevert", frame::Vote::kNone);

enum class Answer { kFirstValuePositive, kAnyRow };

// The shared steps of the checks, after the early commit vote.
bool Ask(frame::Method& m, const std::string& sDsn, const std::string& query,
         Answer answer) {
  m.InitDataEnv(sDsn);
  auto cn = m.OpenConnection();
  bool result = false;
  std::shared_ptr<data::Recordset> rs = cn->Execute(query);
  rs->SetActiveConnection(nullptr);
  if (answer == Answer::kAnyRow) {
    result = rs->RecordCount() > 0;
  } else {
    result = rs->Fields(0).Value().ToDouble() > 0;
  }
  m.CloseConnections();
  return result;
}

}  // namespace

bool CheckOutInfo::CheckHasVoucher(const std::string& sDsn, int32_t lYear,
                                   int32_t lPeriod) {
  return Run(kHasVoucherForm, [&](frame::Method& m) {
    m.SetComplete();
    return Ask(m, sDsn, check_out_info::HasVoucherQuery(lYear, lPeriod),
               Answer::kFirstValuePositive);
  });
}

bool CheckOutInfo::HasCheckedOnlineBalance(const std::string& sDsn,
                                           int32_t lYear, int32_t lPeriod) {
  return Run(kCheckedOnlineBalanceForm, [&](frame::Method& m) {
    m.SetComplete();
    return Ask(m, sDsn,
               check_out_info::CheckedOnlineBalanceQuery(lYear, lPeriod),
               Answer::kFirstValuePositive);
  });
}

bool CheckOutInfo::CheckHaveRevert(const std::string& sDsn, int32_t lYear,
                                   int32_t lPeriod) {
  return Run(kHaveRevertForm, [&](frame::Method& m) {
    m.SetComplete();
    return Ask(m, sDsn, check_out_info::HaveRevertQuery(lYear, lPeriod),
               Answer::kAnyRow);
  });
}

}  // namespace marl
