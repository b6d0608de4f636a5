#include "analytics/TallyEvent.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

#include "analytics/TallyProtocolData.h"
#include "platform/system/Clock.h"

namespace analytics {

TallyEvent::TallyEvent(const QString& name, bool timed, std::optional<QVariantMap> parameters)
    : m_name(name)
    , m_started(platform::Clock::now())
    , m_timed(timed)
    , m_parameters(capped(std::move(parameters)))
{
}

std::optional<QVariantMap> TallyEvent::capped(std::optional<QVariantMap> parameters)
{
    if (!parameters)
        return parameters;
    bool fits = true;
    for (auto it = parameters->cbegin(); it != parameters->cend() && fits; ++it)
        fits = it.key().size() <= TallyProtocolData::maxStringLength
            && textDescription(it.value()).size() <= TallyProtocolData::maxStringLength;
    if (fits)
        return parameters;
    QVariantMap cut;
    for (auto it = parameters->cbegin(); it != parameters->cend(); ++it) {
        const QString text = textDescription(it.value());
        cut.insert(TallyProtocolData::limitStringLength(it.key()),
            text.size() <= TallyProtocolData::maxStringLength
                ? it.value()
                : QVariant(TallyProtocolData::limitStringLength(text)));
    }
    return cut;
}

std::int32_t TallyEvent::duration() const
{
    if (!m_timed || !m_ended.isValid())
        return 0;
    return static_cast<std::int32_t>(TallyProtocolData::timeIntervalFrom(m_started, m_ended));
}

std::int32_t TallyEvent::startOffsetFromSessionStart(const QDateTime& sessionStart) const
{
    return static_cast<std::int32_t>(TallyProtocolData::timeIntervalFrom(sessionStart, m_started));
}

QByteArray TallyEvent::dataRelativeToSessionStart(const QDateTime& sessionStart) const
{
    QByteArray data;
    TallyProtocolData::appendString(m_name, data);
    const qsizetype count = m_parameters ? m_parameters->size() : 0;
    TallyProtocolData::appendUshort(static_cast<std::uint16_t>(count), data);
    if (m_parameters) {
        for (auto it = m_parameters->cbegin(); it != m_parameters->cend(); ++it) {
            TallyProtocolData::appendString(it.key(), data);
            TallyProtocolData::appendString(textDescription(it.value()), data);
        }
    }
    TallyProtocolData::appendLong(startOffsetFromSessionStart(sessionStart), data);
    TallyProtocolData::appendLong(duration(), data);
    return data;
}

QString TallyEvent::textDescription(const QVariant& value)
{
    switch (value.typeId()) {
    case QMetaType::QVariantMap:
    case QMetaType::QVariantList:
    case QMetaType::QStringList:
    case QMetaType::QVariantHash: {
        const QJsonValue json = QJsonValue::fromVariant(value);
        const QJsonDocument document
            = json.isArray() ? QJsonDocument(json.toArray()) : QJsonDocument(json.toObject());
        return QString::fromUtf8(document.toJson(QJsonDocument::Compact));
    }
    default:
        return value.toString();
    }
}

} // namespace analytics
