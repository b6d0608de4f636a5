#pragma once

// What the analytics layer needs of a navigation controller: its delegate, read and replaced.
// The UI toolkit's navigation controller implements it. Main thread.

#include <memory>

#include "analytics/TallyNavigationDelegate.h"

namespace analytics {

class TallyNavigationController {
public:
    virtual ~TallyNavigationController() = default;

    virtual std::shared_ptr<TallyNavigationDelegate> navigationDelegate() const = 0;
    virtual void setNavigationDelegate(std::shared_ptr<TallyNavigationDelegate> delegate) = 0;
};

} // namespace analytics
