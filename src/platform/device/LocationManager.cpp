#include "platform/device/LocationManager.h"

#include <cmath>

#include <QGeoPositionInfo>
#include <QGeoPositionInfoSource>

namespace platform {

namespace {

struct Configuration {
    std::optional<LocationFix> fixed;
    LocationManager::SystemSource systemSource { LocationManager::SystemSource::Use };
};

Configuration& configuration()
{
    static Configuration config;
    return config;
}

std::optional<LocationFix> fixFrom(const QGeoPositionInfo& info)
{
    if (!info.isValid() || !info.coordinate().isValid())
        return std::nullopt;
    LocationFix fix;
    fix.latitude = info.coordinate().latitude();
    fix.longitude = info.coordinate().longitude();
    if (info.hasAttribute(QGeoPositionInfo::HorizontalAccuracy))
        fix.horizontalAccuracy = info.attribute(QGeoPositionInfo::HorizontalAccuracy);
    if (info.hasAttribute(QGeoPositionInfo::VerticalAccuracy))
        fix.verticalAccuracy = info.attribute(QGeoPositionInfo::VerticalAccuracy);
    fix.timestamp = info.timestamp();
    return fix;
}

} // namespace

void LocationManager::configure(std::optional<LocationFix> fixedFix, SystemSource systemSource)
{
    configuration() = Configuration { std::move(fixedFix), systemSource };
}

std::optional<LocationFix> LocationManager::fixedFix()
{
    return configuration().fixed;
}

std::unique_ptr<LocationManager> LocationManager::create()
{
    const Configuration& config = configuration();
    if (config.fixed)
        return std::unique_ptr<LocationManager>(new LocationManager(config.fixed, nullptr));
    if (config.systemSource == SystemSource::Ignore)
        return nullptr;
    std::unique_ptr<QGeoPositionInfoSource> source(QGeoPositionInfoSource::createDefaultSource(nullptr));
    if (!source)
        return nullptr;
    return std::unique_ptr<LocationManager>(new LocationManager(std::nullopt, std::move(source)));
}

LocationManager::LocationManager(
    std::optional<LocationFix> fixed, std::unique_ptr<QGeoPositionInfoSource> source)
    : m_fixed(std::move(fixed))
    , m_source(std::move(source))
{
    if (m_source) {
        QObject::connect(m_source.get(), &QGeoPositionInfoSource::positionUpdated, m_source.get(),
            [this](const QGeoPositionInfo& info) {
                if (auto fix = fixFrom(info))
                    m_location = fix;
            });
    }
}

LocationManager::~LocationManager()
{
    if (m_source && m_updating)
        m_source->stopUpdates();
}

void LocationManager::startUpdatingLocation()
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    if (m_updating)
        return;
    m_updating = true;
    if (m_fixed) {
        LocationFix fix = *m_fixed;
        fix.timestamp = QDateTime::currentDateTimeUtc();
        m_location = fix;
        return;
    }
    if (m_source) {
        m_source->startUpdates();
        takeSourceFix();
    }
}

void LocationManager::stopUpdatingLocation()
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    if (!m_updating)
        return;
    m_updating = false;
    if (m_source)
        m_source->stopUpdates();
}

void LocationManager::takeSourceFix()
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    // A source that has seen a position before may know it at once; a fresh one answers later.
    if (auto fix = fixFrom(m_source->lastKnownPosition()))
        m_location = fix;
}

} // namespace platform
