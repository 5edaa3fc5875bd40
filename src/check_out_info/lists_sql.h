// The SELECT texts of the cost balance lists of CheckOutInfo, composed as
// pure functions of their arguments so that they can be checked without a
// database.
//
// Every list pairs each (year, period, department, product) of
// CB_CostBalance with every cost item of CB_BmItem plus the total item '*',
// left-joins the balance rows on the five key columns and turns the missing
// values into 0. The total item is named by two resource texts: `t1` (the
// text looked up for "合计") in the inner pairing and `t2` (the text looked
// up for "合 计") in the name join, whose name reaches FCostName.
//
// Text values spliced into the SQL: the department identifier and the two
// total names are placed between single quotes with every single quote inside
// them doubled, so that such a character stays part of the value. Filters are
// SQL conditions written by the caller and are spliced unchanged; the caller
// runs the text on a read-only path (see check_out_info_lists.cpp).
//
// Thread safety: pure functions.
#pragma once

#include <cstdint>
#include <string>

namespace marl::check_out_info {

// The two names of the total item in the caller's language.
struct TotalNames {
  std::string t1;  // LoadResText("合计", language)
  std::string t2;  // LoadResText("合 计", language)
};

// GetList: the balance of (year, period); every department when `dept` is
// empty; `current_key` is the current period's key (common::PeriodKeyText).
std::string GetListSql(int32_t year, int32_t period, const std::string& dept,
                       const std::string& filter, bool view_full,
                       const std::string& current_key, const TotalNames& t);

// GetCostList: unit cost accumulated over the periods up to `current_key`.
std::string GetCostListSql(const std::string& filter,
                           const std::string& current_key, const TotalNames& t);

// GetBalList: the balance of (year, period) for `dept` (also when empty)
// with year-to-date sums; `list_type` 0 leaves out products whose total row
// has a zero amount, 1 applies `filter`, any other value ignores `filter`.
std::string GetBalListSql(int32_t year, int32_t period, const std::string& dept,
                          const std::string& filter, int32_t list_type,
                          const TotalNames& t);

// GetBatchList: batch products' amounts accumulated up to `key`.
std::string GetBatchListSql(const std::string& filter, const std::string& key,
                            const TotalNames& t);

}  // namespace marl::check_out_info
