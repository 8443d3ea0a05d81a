// astronomy/observer.hpp: the fixed setting of every computation: the ephemeris
// file, the observer at Delhi and India's civil time.  The one-date methods and
// the batch evaluator both read these.
#pragma once

namespace astronomy {

/// The JPL DE421 kernel, as named to Skyfield's load().
inline constexpr const char* kEphemerisFile = "de421.bsp";

/// The observer: Delhi, as Topos takes it.
inline constexpr const char* kDelhiLatitude = "28.6139 N";
inline constexpr const char* kDelhiLongitude = "77.2090 E";
inline constexpr int kDelhiElevationM = 213;
/// The same latitude and longitude in degrees, for arithmetic of our own.
inline constexpr double kDelhiLatitudeDeg = 28.6139;
inline constexpr double kDelhiLongitudeDeg = 77.2090;

/// A place the holiday lists reckon from, in degrees and metres.
struct Place {
    const char* name;
    double latitude, longitude;
    int elevation_m;
};

/// Mumbai, where India's published holiday lists reckon the new crescent (the
/// west of the country, which sees it first), and the capitals of the states
/// whose lists follow their own almanacs.
inline constexpr Place kMumbai{"Mumbai", 18.94, 72.84, 10};
inline constexpr Place kBengaluru{"Bengaluru", 12.97, 77.59, 920};
inline constexpr Place kChennai{"Chennai", 13.08, 80.27, 7};
inline constexpr Place kHyderabad{"Hyderabad", 17.39, 78.49, 505};
inline constexpr Place kThiruvananthapuram{"Thiruvananthapuram", 8.52, 76.94, 10};
/// Kozhikode, on whose coast (Kappad, Kadalundi) Kerala's qazis take the crescent.
inline constexpr Place kKozhikode{"Kozhikode", 11.25, 75.78, 5};

/// Civil time: Indian Standard Time, UTC+05:30 all year.
inline constexpr const char* kZoneName = "Asia/Kolkata";
inline constexpr int kIstOffsetHours = 5;
inline constexpr int kIstOffsetMinutes = 30;

}  // namespace astronomy
