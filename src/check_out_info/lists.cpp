// CheckOutInfo: the cost balance lists GetList, GetCostList, GetBalList and
// GetBatchList. Each composes one SELECT (inquiry/lists_sql.h), opens a
// client-side recordset with it on a new read-committed connection of the
// data source, detaches it and hands its rows back as an ItemList of
// FieldValueSet records. GetList, GetCostList and GetBatchList vote commit
// before anything else; GetBalList votes commit once its list is built.
// Failures pass through unchanged (no handling of their own): the early vote
// stands, GetBalList casts none.
//
// Deliberate choices:
// - Single quotes inside aExpDeptID (and inside the resource texts naming
//   the total item) are doubled before they are placed between quotes, so a
//   department code such as O'Neil selects its own rows instead of breaking
//   the statement. Texts without quotes are sent exactly as before.
// - The lists never write, and the recordset's source runs on the data
//   layer's read-only path (Recordset::ReadOnlySource): the text must come
//   down to one statement that changes nothing. A caller's aFilter or
//   sFilter that smuggles in a second statement or a write (for example
//   "1=1 DELETE FROM CB_CostBalance") is refused with a clear error before
//   anything runs, and the database is left as it was. The statement text
//   itself, as traced, is unchanged; the filter otherwise remains an SQL
//   condition written by the caller.
#include <cstdint>
#include <memory>
#include <string>

#include "check_out_info/lists_sql.h"
#include "common/globals.h"
#include "frame/frame.h"
#include "marlcheckout/check_out_info.h"
#include "marlcheckout/error.h"

namespace marl {

namespace {

constexpr frame::FailureForm kListForm = frame::Untouched();

// The names of the total item in the caller's language.
check_out_info::TotalNames TotalNamesFor(const std::string& language) {
  return check_out_info::TotalNames{common::LoadResText("合计", language),
                                    common::LoadResText("合 计", language)};
}

// The current year and period of the cost module ("CB" profile), each
// converted to a 32-bit integer.
std::string CurrentPeriodKey(data::CDataSource& ds) {
  const int32_t year =
      common::GetProfileValue(ds, "CurrentYear", "CB").ToInt32();
  const int32_t period =
      common::GetProfileValue(ds, "CurrentPeriod", "CB").ToInt32();
  return common::PeriodKeyText(year, period);
}

// Opens `sql` on a new connection of the object's data source as a detached
// client-side recordset and returns its rows (moved out of the recordset,
// which is not used again).
std::shared_ptr<ItemList> OpenList(frame::Method& m, const std::string& sql) {
  auto rs = data::Recordset::Create();
  rs->CursorLocation = data::ado::kUseClient;
  rs->ReadOnlySource = true;
  rs->Open(sql, m.data_source().Connection());
  rs->SetActiveConnection(nullptr);
  std::shared_ptr<ItemList> list = common::TakeRecordsetToItemList(*rs);
  rs.reset();
  return list;
}

}  // namespace

std::shared_ptr<ItemList> CheckOutInfo::GetList(const std::string& sDsn,
                                                int32_t aYear, int32_t aPeriod,
                                                const std::string& aExpDeptID,
                                                const std::string& aFilter,
                                                bool bViewFull) {
  return Run(kListForm, [&](frame::Method& m) {
    m.SetComplete();
    m.InitDataEnv(sDsn);
    const std::string language = common::GetPropValue(sDsn, "Language");
    const std::string current_key = CurrentPeriodKey(m.data_source());
    const std::string sql = check_out_info::GetListSql(
        aYear, aPeriod, aExpDeptID, aFilter, bViewFull, current_key,
        TotalNamesFor(language));
    return OpenList(m, sql);
  });
}

std::shared_ptr<ItemList> CheckOutInfo::GetCostList(
    const std::string& sDsn, const std::string& sFilter) {
  return Run(kListForm, [&](frame::Method& m) {
    m.SetComplete();
    m.InitDataEnv(sDsn);
    const std::string language = common::GetPropValue(sDsn, "Language");
    const std::string current_key = CurrentPeriodKey(m.data_source());
    const std::string sql = check_out_info::GetCostListSql(
        sFilter, current_key, TotalNamesFor(language));
    return OpenList(m, sql);
  });
}

std::shared_ptr<ItemList> CheckOutInfo::GetBalList(
    const std::string& sDsn, int32_t aYear, int32_t aPeriod,
    const std::string& aExpDeptID, const std::string& aFilter,
    int32_t aListType) {
  return Run(kListForm, [&](frame::Method& m) {
    m.InitDataEnv(sDsn);
    const std::string language = common::GetPropValue(sDsn, "Language");
    const std::string sql =
        check_out_info::GetBalListSql(aYear, aPeriod, aExpDeptID, aFilter,
                                      aListType, TotalNamesFor(language));
    std::shared_ptr<ItemList> list = OpenList(m, sql);
    m.SetComplete();
    return list;
  });
}

std::shared_ptr<ItemList> CheckOutInfo::GetBatchList(
    const std::string& sDsn, int32_t CurYear, int32_t CurPeriod,
    const std::string& sFilter) {
  return Run(kListForm, [&](frame::Method& m) {
    m.SetComplete();
    m.InitDataEnv(sDsn);
    const std::string language = common::GetPropValue(sDsn, "Language");
    const std::string key = common::PeriodKeyText(CurYear, CurPeriod);
    const std::string sql =
        check_out_info::GetBatchListSql(sFilter, key, TotalNamesFor(language));
    return OpenList(m, sql);
  });
}

}  // namespace marl
