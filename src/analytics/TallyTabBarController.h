#pragma once

// What the analytics layer needs of a tab-bar controller: its delegate, read and replaced.
// The UI toolkit's tab-bar controller implements it. Main thread.

#include <memory>

#include "analytics/TallyTabBarDelegate.h"

namespace analytics {

class TallyTabBarController {
public:
    virtual ~TallyTabBarController() = default;

    virtual std::shared_ptr<TallyTabBarDelegate> tabBarDelegate() const = 0;
    virtual void setTabBarDelegate(std::shared_ptr<TallyTabBarDelegate> delegate) = 0;
};

} // namespace analytics
