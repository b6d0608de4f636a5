#pragma once

// The device's location service, as the camera screen uses it: start and stop updates, read the
// last fix. Where the fixes come from is decided once per process by the window host:
// - a fixed fix (lumivue --location LAT,LON[,ACCURACY]) for machines without a position source;
// - otherwise Qt Positioning's default source (geoclue2, gpsd, ...) where the system has one;
// - otherwise there is no location manager at all (create() returns null).
//
// Units: degrees (WGS-84, north and east positive) and metres; a negative accuracy means unknown.
//
// Threads: GUI thread only (the Qt source delivers its fixes on the thread that made it).

#include <memory>
#include <optional>

#include <QDateTime>

#include "platform/core/ThreadChecker.h"

class QGeoPositionInfoSource;

namespace platform {

struct LocationFix {
    double latitude { 0.0 };
    double longitude { 0.0 };
    double horizontalAccuracy { -1.0 };
    double verticalAccuracy { -1.0 };
    QDateTime timestamp;
};

class LocationManager {
public:
    enum class SystemSource { Use, Ignore };

    // Where later create() calls take their fixes from. A fixed fix wins over the system source.
    static void configure(std::optional<LocationFix> fixedFix, SystemSource systemSource);
    static std::optional<LocationFix> fixedFix();

    // A manager over the configured provider, or null when there is none.
    static std::unique_ptr<LocationManager> create();

    ~LocationManager();
    LocationManager(const LocationManager&) = delete;
    LocationManager& operator=(const LocationManager&) = delete;

    void startUpdatingLocation();
    void stopUpdatingLocation();
    bool isUpdatingLocation() const { return m_updating; }
    // The newest fix seen, or the fixed fix once updates have started; empty before any.
    std::optional<LocationFix> location() const { return m_location; }

private:
    LocationManager(std::optional<LocationFix> fixed, std::unique_ptr<QGeoPositionInfoSource> source);
    void takeSourceFix();

    std::optional<LocationFix> m_fixed;
    std::unique_ptr<QGeoPositionInfoSource> m_source;
    std::optional<LocationFix> m_location;
    bool m_updating { false };
    [[no_unique_address]] ThreadChecker m_guiThread;
};

} // namespace platform
