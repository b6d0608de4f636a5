#pragma once

// One logged event of a session: its name, when it was recorded, and for a timed event when it
// ended. A value type; the owning TallySession guards it with the session's lock.

#include <cstdint>
#include <optional>

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QVariantMap>

namespace analytics {

class TallyEvent {
public:
    TallyEvent() = default;
    // `started` is the clock's now.
    explicit TallyEvent(
        const QString& name, bool timed = false, std::optional<QVariantMap> parameters = std::nullopt);

    const QString& name() const { return m_name; }
    const QDateTime& started() const { return m_started; }
    const QDateTime& ended() const { return m_ended; } // null while open and for untimed events
    bool isTimed() const { return m_timed; }
    bool isAutomaticallyEnded() const { return m_automaticallyEnded; }
    const std::optional<QVariantMap>& parameters() const { return m_parameters; }

    void setStarted(const QDateTime& started) { m_started = started; }
    void setEnded(const QDateTime& ended) { m_ended = ended; }
    void setTimed(bool timed) { m_timed = timed; }
    void setAutomaticallyEnded(bool automaticallyEnded) { m_automaticallyEnded = automaticallyEnded; }
    void setParameters(std::optional<QVariantMap> parameters)
    {
        m_parameters = capped(std::move(parameters));
    }

    bool isUnterminated() const { return m_timed && !m_ended.isValid(); }
    // Milliseconds, truncated to 32 bits as the report carries them.
    std::int32_t duration() const;
    std::int32_t startOffsetFromSessionStart(const QDateTime& sessionStart) const;

    // The event record of the report: name, parameters as text pairs, start offset, duration.
    QByteArray dataRelativeToSessionStart(const QDateTime& sessionStart) const;

    // The text a parameter key or value is sent as: strings and numbers as their plain text,
    // lists and maps as compact JSON.
    static QString textDescription(const QVariant& value);

    // Parameters as the report can carry them: every key, and every value whose text is longer
    // than a report string, cut to the report's string limit (a long value becomes its cut text).
    // Applied whenever parameters are stored, so the current-session file cannot grow without
    // bound with values the report would cut anyway.
    static std::optional<QVariantMap> capped(std::optional<QVariantMap> parameters);

private:
    QString m_name;
    QDateTime m_started;
    QDateTime m_ended;
    bool m_timed { false };
    bool m_automaticallyEnded { false };
    std::optional<QVariantMap> m_parameters;
};

} // namespace analytics
