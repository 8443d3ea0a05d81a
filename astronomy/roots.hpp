// astronomy/roots.hpp: Newton's method on many roots at once, each evaluation
// one array call into Skyfield.
#pragma once

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <utility>
#include <vector>

namespace astronomy {

// Newton's method on all roots at once: `steps(t)` gives, for each guess, the
// residual over its slope, from one array evaluation.  Once every step is below
// kAcceptStep (0.86 s), the error left after it (about the step squared times
// the residual's curvature over its slope: at most a few per day for the
// elongation and the Sun's altitude) is below 1e-9 days, and the step is the
// last.  A guess within a day converges in three or four steps; twelve without
// converging means the function is not what it should be.
template <typename Steps>
inline std::vector<double> newton(Steps steps, std::vector<double> t) {
    constexpr double kAcceptStep = 1e-5;
    constexpr int kMaxIterations = 12;
    if (t.empty()) return t;
    for (int iteration = 0;; ++iteration) {
        std::vector<double> step = steps(t);
        double largest = 0;
        for (std::size_t i = 0; i < t.size(); ++i) {
            t[i] -= step[i];
            largest = std::max(largest, std::fabs(step[i]));
        }
        if (largest < kAcceptStep) return t;
        if (iteration == kMaxIterations || !std::isfinite(largest))
            throw std::runtime_error("root search did not converge");
    }
}

// Roots near `t` of `residual`, an array function of TT instants smooth there,
// with a numerical slope.
template <typename Residual>
inline std::vector<double> refine_roots(Residual residual, std::vector<double> t) {
    constexpr double h = 1e-5;
    auto steps = [&](const std::vector<double>& x) {
        std::vector<double> shifted(x);
        for (double& v : shifted) v += h;
        std::vector<double> f = residual(x), g = residual(shifted);
        for (std::size_t i = 0; i < x.size(); ++i) f[i] /= (g[i] - f[i]) / h;
        return f;
    };
    return newton(steps, std::move(t));
}

// The same by the chord method: the slope is taken once, numerically, at the
// guesses, and each later step costs one evaluation.  Where the slope changes
// by a few percent between guess and root (the elongation over half a day, the
// Sun's altitude over minutes), each step shrinks the error twentyfold or more,
// and the error left after the last step, below kAcceptStep times that change,
// is under 0.05 s.
template <typename Residual>
inline std::vector<double> chord_roots(Residual residual, std::vector<double> t) {
    constexpr double h = 1e-5;
    if (t.empty()) return t;
    std::vector<double> shifted(t);
    for (double& v : shifted) v += h;
    std::vector<double> first = residual(t), g = residual(shifted), slope(t.size());
    for (std::size_t i = 0; i < t.size(); ++i) slope[i] = (g[i] - first[i]) / h;
    bool at_guesses = true;
    auto steps = [&](const std::vector<double>& x) {
        std::vector<double> f = at_guesses ? std::move(first) : residual(x);
        at_guesses = false;
        for (std::size_t i = 0; i < x.size(); ++i) f[i] /= slope[i];
        return f;
    };
    return newton(steps, std::move(t));
}

}  // namespace astronomy
