#include "analytics/TallyUploader.h"

#include <mutex>

namespace analytics {

namespace {

struct Slot {
    std::mutex mutex; // guards service
    std::shared_ptr<TallyUploader> service;
};

Slot& slot()
{
    static Slot theSlot;
    return theSlot;
}

} // namespace

std::shared_ptr<TallyUploader> TallyUploader::instance()
{
    Slot& s = slot();
    std::scoped_lock lock(s.mutex);
    if (!s.service)
        s.service = std::make_shared<TallyUploader>();
    return s.service;
}

void TallyUploader::setInstance(std::shared_ptr<TallyUploader> service)
{
    Slot& s = slot();
    std::scoped_lock lock(s.mutex);
    s.service = std::move(service);
}

} // namespace analytics
