#include "analytics/TallyNotificationCenter.h"

#include <mutex>
#include <vector>

namespace analytics {

namespace {

struct Registration {
    int token;
    QString name;
    TallyNotificationCenter::Observer observer;
};

std::mutex g_mutex; // guards g_registrations and g_nextToken
std::vector<Registration> g_registrations;
int g_nextToken = 1;

} // namespace

int TallyNotificationCenter::addObserver(const QString& name, Observer observer)
{
    std::scoped_lock lock(g_mutex);
    const int token = g_nextToken++;
    g_registrations.push_back({ token, name, std::move(observer) });
    return token;
}

void TallyNotificationCenter::removeObserver(int token)
{
    std::scoped_lock lock(g_mutex);
    std::erase_if(g_registrations, [token](const Registration& r) { return r.token == token; });
}

void TallyNotificationCenter::post(const QString& name)
{
    std::vector<Observer> observers;
    {
        std::scoped_lock lock(g_mutex);
        for (const auto& registration : g_registrations) {
            if (registration.name == name)
                observers.push_back(registration.observer);
        }
    }
    for (const auto& observer : observers)
        observer();
}

} // namespace analytics
