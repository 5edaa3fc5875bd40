// ErrInfo: the two database texts of a validation error (numbers 10000 and
// up): the description of the error kind in the caller's language
// (CB_BmErrCode) and the description of the error item (CB_BmErrItem).
//
// Contract
// - Both read the language from the data source's parser ("LANGUAGE") and
//   read through a new connection of the data source.
// - A number or item without a row is not an error: the result is the fixed
//   text "未知错误类型" / "未知错误项目" rendered by LoadResText.
// - Nothing is caught: a missing "LANGUAGE" key, a database failure or a
//   null description is raised to the caller.
// - GetErrCodeText reads the Simplified Chinese column for any language other
//   than "chs", "cht" and "en" (compared exactly).
// Thread safety: no state; any thread.
#pragma once

#include <cstdint>
#include <string>

#include "data/data_source.h"

namespace marl::common {

std::string GetErrCodeText(data::CDataSource& ds, int32_t number);
std::string GetErrItemText(data::CDataSource& ds, int32_t item);

}  // namespace marl::common
