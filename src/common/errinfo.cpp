// Texts of the validation errors from CB_BmErrCode and CB_BmErrItem (see
// errinfo.h).
#include "common/errinfo.h"

#include <memory>
#include <string>

#include "common/globals.h"
#include "data/ado.h"
#include "data/cparse.h"
#include "marlcheckout/error.h"

namespace marl::common {

namespace {

const data::CParse& Parser(data::CDataSource& ds) {
  if (!ds.ParseObject()) throw Error::Of(err::kObjectNotSet, "MarlCheckOut");
  return *ds.ParseObject();
}

// A client-side recordset opened with `sql` on a new connection of `ds`.
std::shared_ptr<data::Recordset> OpenClientRecordset(data::CDataSource& ds,
                                                     const std::string& sql) {
  auto rs = data::Recordset::Create();
  rs->CursorLocation = data::ado::kUseClient;
  rs->Open(sql, ds.Connection(), -1, -1, -1);
  return rs;
}

}  // namespace

std::string GetErrCodeText(data::CDataSource& ds, int32_t number) {
  const std::string language = Parser(ds).LanguageID();
  std::string sql;
  if (language == "cht") {
    sql =
        "SELECT FDescriptive_CHT as FDescriptive FROM CB_BmErrCode WHERE "
        "FCode =";
  } else if (language == "en") {
    sql =
        "SELECT FDescriptive_EN as FDescriptive FROM CB_BmErrCode WHERE "
        "FCode =";
  } else {
    // "chs", and any other language: the Simplified Chinese column.
    sql = "SELECT FDescriptive FROM CB_BmErrCode WHERE FCode =";
  }
  sql += std::to_string(number);
  auto rs = OpenClientRecordset(ds, sql);
  if (rs->Eof()) return LoadResText("未知错误类型", language);
  return rs->Fields("FDescriptive").Value().ToText();
}

std::string GetErrItemText(data::CDataSource& ds, int32_t item) {
  const std::string sql =
      "SELECT FDescriptive FROM CB_BmErrItem WHERE FItem =" +
      std::to_string(item);
  auto rs = OpenClientRecordset(ds, sql);
  const std::string language = Parser(ds).LanguageID();
  if (rs->Eof()) return LoadResText("未知错误项目", language);
  return rs->Fields("FDescriptive").Value().ToText();
}

}  // namespace marl::common
