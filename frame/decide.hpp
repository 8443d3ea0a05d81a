// frame/decide.hpp: what the batch decides of each minute (tithi, lunar month,
// whether the Hijri day has changed at sunset), or that the one-date path must.
#pragma once

#include "frame/minutes.hpp"
#include "runtime/method.hpp"

#include <vector>

namespace frame {

/// What the batch decided of one minute, or that it could not decide.
struct Decision {
    long long tithi_no = 0;     // 1 to 30; 0 until known
    long long month_idx = -1;   // purnimanta month, -1 until known
    bool after_sunset = false;
    long long hijri_m = 0;      // from __get_hijri_date where sunset was too close; 0 if not
    long long hijri_d = 0;
    bool undecided = false;     // the one-date path decides this minute
};

/// The decisions of `minutes` (ascending, TT and zone filled): from the events
/// of their span when they are dense, from each minute's own positions
/// otherwise.  Minutes too close to sunset take __get_hijri_date's own answer.
std::vector<Decision> decide(const runtime::Call& call, const astronomy::Context& ctx,
                             py::handle self, const std::vector<Minute>& minutes);

}  // namespace frame
