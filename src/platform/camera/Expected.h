#pragma once

// A value or the reason why there is none. Factories of the camera platform return this instead
// of throwing: the caller decides whether a failure is logged, shown or passed on.

#include <optional>
#include <utility>

#include <QString>

namespace platform {

template <typename T> class Expected {
public:
    Expected(T value)
        : m_value(std::move(value))
    {
    }
    static Expected failure(QString error) { return Expected(std::nullopt, std::move(error)); }

    bool hasValue() const { return m_value.has_value(); }
    explicit operator bool() const { return hasValue(); }
    T& value() { return *m_value; }
    const T& value() const { return *m_value; }
    T& operator*() { return *m_value; }
    T* operator->() { return &*m_value; }
    // Empty when there is a value; a one-line, human-readable reason otherwise.
    const QString& error() const { return m_error; }

private:
    Expected(std::nullopt_t, QString error)
        : m_error(std::move(error))
    {
    }

    std::optional<T> m_value;
    QString m_error;
};

} // namespace platform
