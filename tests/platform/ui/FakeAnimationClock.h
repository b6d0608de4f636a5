#pragma once

#include "platform/ui/AnimationClock.h"
#include "platform/ui/Animator.h"

// A clock the test advances; installed for the lifetime of the object.
class FakeAnimationClock : public platform::AnimationClock {
public:
    FakeAnimationClock() { platform::Animator::instance().setClock(this); }
    ~FakeAnimationClock() override
    {
        platform::Animator::instance().setClock(nullptr);
        platform::Animator::instance().setEnabled(true);
    }
    double now() const override { return m_now; }
    void advance(double seconds)
    {
        m_now += seconds;
        platform::Animator::instance().tick();
    }

private:
    double m_now { 1000.0 };
};
