#include "analytics/TallySessionStore.h"

#include <mutex>

#include "analytics/TallySession.h"
#include "analytics/TallyUtil.h"

namespace analytics {

namespace {

struct Slot {
    std::mutex mutex; // guards service
    std::shared_ptr<TallySessionStore> service;
};

Slot& slot()
{
    static Slot theSlot;
    return theSlot;
}

} // namespace

std::shared_ptr<TallySessionStore> TallySessionStore::instance()
{
    Slot& s = slot();
    std::scoped_lock lock(s.mutex);
    if (!s.service)
        s.service = std::make_shared<TallySessionStore>();
    return s.service;
}

void TallySessionStore::setInstance(std::shared_ptr<TallySessionStore> service)
{
    Slot& s = slot();
    std::scoped_lock lock(s.mutex);
    s.service = std::move(service);
}

void TallySessionStore::recoverFormerSession()
{
    if (const auto former = readCurrentSession())
        addToSavedSessions(recordOfCrashed(*former));
    deleteCurrentSession();
}

QByteArray TallySessionStore::recordOfCrashed(TallySession& former)
{
    TallyUtil::debugLog(QStringLiteral("Add crashed former session"));
    former.setCrashed(true);
    return former.data();
}

} // namespace analytics
