#include "platform/graphics/Layer.h"

#include <atomic>
#include <functional>
#include <thread>
#include <vector>

#include <QCoreApplication>

#include <gtest/gtest.h>

#include "platform/graphics/GraphicsContext.h"
#include "support/WaitUntil.h"

using platform::GraphicsContext;
using platform::Layer;
using platform::LayerDelegate;

namespace {

void drainEvents()
{
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();
}

// Counts its calls.
class CountingDelegate : public LayerDelegate {
public:
    void drawLayer(Layer& layer, GraphicsContext&) override
    {
        ++calls;
        if (onDraw)
            onDraw(layer);
    }
    std::atomic<int> calls { 0 };
    std::function<void(Layer&)> onDraw;
};

// A 10 × 10 point layer that `delegate` draws.
std::shared_ptr<Layer> delegatedLayer(CountingDelegate& delegate)
{
    auto layer = Layer::create();
    layer->setBounds(QRectF(0, 0, 10, 10));
    layer->setDelegate(&delegate);
    return layer;
}

} // namespace

// Requests from this thread and from four others give one redraw, later, on the GUI thread, and
// one call of the observer of the tree.
TEST(LayerDisplay, ManyRequestsFromManyThreadsGiveOneRedrawOnTheGuiThread)
{
    CountingDelegate delegate;
    std::thread::id drawingThread;
    delegate.onDraw = [&](Layer&) { drawingThread = std::this_thread::get_id(); };
    auto root = Layer::create();
    auto layer = delegatedLayer(delegate);
    root->addSublayer(layer);
    int rootNotified = 0;
    root->setDisplayObserver([&] { ++rootNotified; });

    for (int i = 0; i < 100; ++i)
        layer->setNeedsDisplay();
    std::vector<std::thread> threads;
    threads.reserve(4);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([layer] {
            for (int i = 0; i < 1000; ++i)
                layer->setNeedsDisplay();
        });
    }
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(delegate.calls, 0); // never synchronous
    ASSERT_TRUE(testing_support::waitUntil([&] { return delegate.calls > 0; }));
    drainEvents();
    EXPECT_EQ(delegate.calls, 1);
    EXPECT_EQ(layer->displayCount(), 1);
    EXPECT_EQ(rootNotified, 1);
    EXPECT_FALSE(layer->needsDisplay());
    EXPECT_EQ(drawingThread, std::this_thread::get_id());
}

TEST(LayerDisplay, RequestMadeWhileDrawingGivesExactlyOneMoreRedraw)
{
    CountingDelegate delegate;
    int requested = 0;
    delegate.onDraw = [&requested](Layer& layer) {
        if (requested++ == 0)
            layer.setNeedsDisplay();
    };
    auto layer = delegatedLayer(delegate);
    layer->setNeedsDisplay();
    ASSERT_TRUE(testing_support::waitUntil([&] { return delegate.calls >= 2; }));
    drainEvents();
    EXPECT_EQ(delegate.calls, 2);
}

TEST(LayerDisplay, QueuedRedrawOfADestroyedLayerDoesNothing)
{
    CountingDelegate delegate;
    auto layer = delegatedLayer(delegate);
    std::thread([layer] { layer->setNeedsDisplay(); }).join();
    layer.reset();
    drainEvents();
    EXPECT_EQ(delegate.calls, 0);
}
