// observed/closures.hpp: the exchange's closures that no rule predicts, each with
// the notice that announced it.  Every other day of every list comes from a rule.
#pragma once

namespace observed {

struct Closure {
    int year, month, day;
    const char* name;
    const char* notice;  ///< the announcement that made it a trading holiday
    /// The observance whose day, that year, the announcement set instead of the
    /// rule's (null: a closure of its own).
    const char* moves = nullptr;
};

inline constexpr Closure kExchangeClosures[] = {
    {2019, 4, 29, "Lok_Sabha_Election_Mumbai",
     "NSE circular of 26 March 2019: trading holiday on account of the general elections in Mumbai"},
    {2019, 10, 21, "Maharashtra_Assembly_Election",
     "NSE circular of October 2019: trading holiday on account of the elections to the Maharashtra "
     "legislative assembly"},
    // Maharashtra's list (notification PHD.1119/C.R.69/Desk-29) put Ramzan Id on
    // 13 May, Saudi Arabia's day; by Maharashtra's own crescent (Yallop's
    // category A at Mumbai), which the exchange's other Islamic days follow, the
    // crescent of 12 May was not seen, and the government kept 14 May.
    {2021, 5, 13, "Eid_ul_Fitr",
     "The exchange's list of trading holidays for 2021, after Maharashtra's notification "
     "PHD.1119/C.R.69/Desk-29: Id-Ul-Fitr (Ramzan Id) on 13 May",
     "Eid_ul_Fitr"},
    {2024, 1, 22, "Ram_Mandir_Pran_Pratishtha",
     "NSE circular of 19 January 2024, in partial modification of NSE/CMTR/59917: trading holiday on "
     "the public holiday Maharashtra declared under section 25 of the Negotiable Instruments Act"},
    {2024, 5, 20, "Lok_Sabha_Election_Mumbai",
     "NSE circular of 8 April 2024: trading holiday on account of the general elections in Mumbai"},
    {2024, 11, 20, "Maharashtra_Assembly_Election",
     "NSE circular of 8 November 2024: trading holiday on account of the elections to the Maharashtra "
     "legislative assembly"},
    {2026, 1, 15, "Municipal_Elections_Mumbai",
     "NSE circular of 12 January 2026, in partial modification of NSE/CMTR/71775: trading holiday on "
     "account of the municipal corporation elections in Mumbai"},
};

}  // namespace observed
