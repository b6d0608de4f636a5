#pragma once

// A latch one thread opens once and others wait on, giving up after a generous limit instead of
// hanging the test.

#include <chrono>
#include <future>

namespace testing_support {

class Gate {
public:
    void open() { m_promise.set_value(); }
    bool wait(std::chrono::milliseconds limit = std::chrono::seconds(60)) const
    {
        return m_opened.wait_for(limit) == std::future_status::ready;
    }

private:
    std::promise<void> m_promise;
    std::shared_future<void> m_opened { m_promise.get_future().share() };
};

} // namespace testing_support
