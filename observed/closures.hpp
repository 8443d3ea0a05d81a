// observed/closures.hpp: what the lists' publishers announced that no rule
// predicts, each with the notice that announced it: the exchange's closures,
// and the days a publisher moved (the government's memoranda on the sighting of
// the moon, the exchange's circulars).  Every other day of every list comes
// from a rule; a rule that gives a wrong day is a rule to mend, never a row here.
#pragma once

namespace observed {

/// When a notice came: in the list as first printed, or after it.
enum class Notice { in_the_list, after_publication };

struct Closure {
    int year, month, day;
    const char* name;
    const char* notice;  ///< the announcement, as its publisher numbered and dated it
    Notice when = Notice::after_publication;
    /// The observance whose day, that year, the announcement set instead of the
    /// rule's (null: a closure of its own).
    const char* moves = nullptr;
};

inline constexpr Closure kExchangeClosures[] = {
    {2005, 7, 28, "Mumbai_Floods",
     "NSE release of 27 July 2005: as advised by SEBI, in view of the unscheduled consecutive banking holiday "
     "after the floods in Mumbai, the exchange closed on Thursday 28 July 2005"},
    {2008, 11, 27, "Mumbai_Terror_Attacks",
     "The exchanges closed on Thursday 27 November 2008 after the attacks in Mumbai of the night before, on "
     "the advice of the state government (BSE and NSE announcements reported that day)"},
    // The exchange's list of 2013 had Moharram on Thursday 14 November.
    {2013, 11, 15, "Day_of_Ashura",
     "NSE and BSE circulars of November 2013, revoking the earlier circular: 14 November 2013 a trading day "
     "and 15 November 2013 a trading holiday for Moharram",
     Notice::after_publication, "Day_of_Ashura"},
    {2014, 4, 24, "Lok_Sabha_Election_Mumbai",
     "NSE notice of April 2014: \"The exchange hereby notifies April 24 as a trading holiday on account of "
     "parliamentary elections in Mumbai\""},
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
     Notice::in_the_list, "Eid_ul_Fitr"},
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

/// The Department of Personnel and Training's memoranda that moved a gazetted
/// holiday in Delhi after the year's list was published, each "dependent on
/// sighting of the moon".  (Id-ul-Zuha 2018 was moved from 22 to 23 August by
/// F.No.12/4/2018-JCA2 of 14.08.2018 and back to 22 August by the memorandum of
/// 20.08.2018 "in supersession" of it: kept as printed, so no row.)
inline constexpr Closure kGovernmentMoves[] = {
    {2016, 7, 7, "Eid_ul_Fitr",
     "DoPT F.No.12/10/2016-JCA2 of 05.07.2016: Id-ul-Fitr in Delhi on Thursday 7 July 2016, not Wednesday 6 July",
     Notice::after_publication, "Eid_ul_Fitr"},
    {2016, 9, 13, "Bakrid",
     "DoPT F.No.12/11/2016-JCA2 of 06.09.2016: Id-ul-Zuha (Bakrid) in Delhi on Tuesday 13 September 2016, "
     "not Monday 12 September",
     Notice::after_publication, "Bakrid"},
    {2016, 12, 12, "Eid_Milad_un_Nabi",
     "DoPT F.No.12/18/2016-JCA2 of 07.12.2016: Milad-un-Nabi or Id-e-Milad in Delhi on Monday 12 December "
     "2016, not Tuesday 13 December",
     Notice::after_publication, "Eid_Milad_un_Nabi"},
    {2021, 8, 20, "Day_of_Ashura",
     "DoPT No.12/13/2016-JCA-2 of 11.08.2021: Muharram in Delhi on Friday 20 August 2021, not Thursday "
     "19 August",
     Notice::after_publication, "Day_of_Ashura"},
};

// The states' orders that gave a holiday once, or moved one after the year's
// list was published, each with its order as reported.
inline constexpr Closure kMaharashtraOrders[] = {
    // As the exchange's list: Maharashtra's notification PHD.1119/C.R.69/Desk-29.
    {2021, 5, 13, "Eid_ul_Fitr",
     "Maharashtra's notification PHD.1119/C.R.69/Desk-29: Ramzan-Id (Id-Ul-Fitr) on 13 May 2021",
     Notice::in_the_list, "Eid_ul_Fitr"},
    {2022, 2, 7, "Mourning_Lata_Mangeshkar",
     "General Administration Department, 6 February 2022: a public holiday under section 25 of the Negotiable "
     "Instruments Act on the death of Bharat Ratna Lata Mangeshkar"},
};


inline constexpr Closure kTamilNaduOrders[] = {
    {2019, 10, 28, "Day_after_Deepavali",
     "Government of Tamil Nadu, October 2019: a holiday on Monday 28 October for Deepavali, which fell on a "
     "Sunday"},
    {2021, 11, 5, "Day_after_Deepavali",
     "Government of Tamil Nadu, November 2021: a holiday on Friday 5 November for state government offices "
     "and educational institutions"},
    {2022, 1, 17, "Local_Holiday",
     "Government of Tamil Nadu, January 2022: a holiday on Monday 17 January for government offices and "
     "educational institutions, Saturday 29 January a working day in its place"},
};

inline constexpr Closure kTelanganaOrders[] = {
    {2020, 10, 26, "Day_after_Dasara",
     "The Chief Minister's order of October 2020: a holiday on Monday 26 October for all government offices, "
     "Dasara falling on Sunday 25 October"},
    {2022, 10, 24, "Deepavali",
     "General Administration Department, October 2022: the general holiday for Deepavali on Monday 24 "
     "October instead of Tuesday 25 October",
     Notice::after_publication, "Deepavali"},
};

inline constexpr Closure kKeralaOrders[] = {
    {2021, 7, 21, "Bakrid",
     "General Administration Department's order of 19 July 2021: the Bakrid holiday on Wednesday 21 July, "
     "Tuesday 20 July a working day",
     Notice::after_publication, "Bakrid"},
    {2022, 5, 3, "Eid_ul_Fitr_Second_Day",
     "General Administration Department's order of 2 May 2022: Tuesday 3 May a holiday too, the crescent "
     "not having been seen on 1 May (Monday 2 May stays a holiday)"},
    {2022, 8, 9, "Day_of_Ashura",
     "Government order of August 2022: the Muharram holiday on Tuesday 9 August, Monday 8 August a working "
     "day",
     Notice::after_publication, "Day_of_Ashura"},
};

}  // namespace observed
