// frame/decide.hpp: what the batch decides of each minute (tithi, lunar month,
// the Hijri day with its change at sunset), or that the one-date path must.
#pragma once

#include "frame/minutes.hpp"
#include "runtime/method.hpp"

#include <vector>

namespace frame {

/// Where a decided minute's Hijri day comes from.
enum class DayChange {
    before_sunset,  ///< the tabular Hijri date of its civil date
    after_sunset,   ///< the tabular Hijri date of the next civil date
    at_sunset,      ///< too close to the batch's sunset: __get_hijri_date's own answer
};

/// What the batch decided of one minute.  Where `by_batch` is false, the one-date
/// path decides the minute and no other field is meaningful.
struct Decision {
    bool by_batch = true;
    long long tithi_no = 0;   ///< 1 to 30
    long long month_idx = 0;  ///< the purnimanta month, 0 to 11
    DayChange day_change = DayChange::before_sunset;
    long long hijri_m = 0;    ///< the Hijri month and day the minute has, 1 to 12 and 1 to 30
    long long hijri_d = 0;
};

/// The decisions of `minutes`: from the events of their span when they are dense,
/// from each minute's own positions otherwise.
///
/// PRECONDITION: `minutes` is not empty, ascending, with TT and zone filled, and
/// every minute inside the ephemeris's batch span (astronomy::batch_span).  Used by
/// festival_mapper (frame/batch.cpp), which sorts out the minutes outside first.
std::vector<Decision> decide(const runtime::Call& call, const astronomy::Context& ctx,
                             py::handle self, const std::vector<Minute>& minutes);

}  // namespace frame
