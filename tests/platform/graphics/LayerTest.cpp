#include "platform/graphics/Layer.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <numbers>
#include <thread>
#include <vector>

#include <QCoreApplication>

#include <gtest/gtest.h>

#include "Pixels.h"
#include "platform/graphics/GraphicsContext.h"
#include "platform/graphics/NamedColor.h"
#include "support/RectNear.h"
#include "support/WaitUntil.h"

using platform::GraphicsContext;
using platform::Layer;
using platform::LayerDelegate;
using platform::NamedColor;
using namespace graphics_test;
using testing_support::rectNear;

namespace {

std::shared_ptr<Layer> solidLayer(const QRectF& frame, const QColor& colour)
{
    auto layer = Layer::create();
    layer->setFrame(frame);
    layer->setBackgroundColor(colour);
    return layer;
}

std::shared_ptr<Layer> whiteRoot(int width, int height)
{
    auto root = Layer::create();
    root->setBounds(QRectF(0, 0, width, height));
    root->setPosition(QPointF(width / 2.0, height / 2.0));
    root->setBackgroundColor(Qt::white);
    return root;
}

void drainEvents()
{
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();
}

// Fills the top-left 10 × 5 points red; counts its calls.
class CountingDelegate : public LayerDelegate {
public:
    void drawLayer(Layer& layer, GraphicsContext& context) override
    {
        ++calls;
        lastClip = context.clipBoundingBox();
        context.setFillColor(NamedColor::red());
        context.fillRect(QRectF(0, 0, 10, 5));
        if (onDraw)
            onDraw(layer);
    }
    std::atomic<int> calls { 0 };
    QRectF lastClip;
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

// --- Geometry ---------------------------------------------------------------------------------

TEST(LayerGeometry, FrameIsTheTransformedBoundingBoxAboutThePosition)
{
    auto layer = Layer::create();
    layer->setBounds(QRectF(0, 0, 232, 128));
    layer->setPosition(QPointF(200, 100));
    EXPECT_EQ(layer->frame(), QRectF(84, 36, 232, 128));

    for (qreal angle : { std::numbers::pi / 2, -std::numbers::pi / 2 }) {
        QTransform turn;
        turn.rotateRadians(angle);
        layer->setAffineTransform(turn);
        const QRectF frame = layer->frame();
        EXPECT_TRUE(rectNear(frame, QRectF(200 - 64, 100 - 116, 128, 232), 1e-9));

        // Moving the turned frame keeps its size and the layer's bounds.
        layer->setFrame(QRectF(QPointF(10, 20), frame.size()));
        EXPECT_TRUE(rectNear(layer->frame(), QRectF(10, 20, 128, 232), 1e-9));
        EXPECT_TRUE(rectNear(layer->bounds(), QRectF(0, 0, 232, 128), 1e-9));
        layer->setPosition(QPointF(200, 100));
    }
}

// A sublayer lands at its frame at every scale, and a transform turns it about its position; a
// border lies inside the bounds, above the sublayers.
TEST(LayerComposition, SublayersLandAtTheirFramesTurnedAboutTheirPositions)
{
    auto root = whiteRoot(100, 100);
    root->addSublayer(solidLayer(QRectF(20, 65, 20, 10), Qt::red));
    auto bar = solidLayer(QRectF(30, 45, 40, 10), Qt::blue); // centred at (50, 50)
    QTransform turn;
    turn.rotateRadians(std::numbers::pi / 2);
    bar->setAffineTransform(turn);
    root->addSublayer(bar);
    auto box = solidLayer(QRectF(70, 0, 20, 20), Qt::blue);
    box->setBorderWidth(2);
    box->setBorderColor(Qt::black);
    box->addSublayer(solidLayer(QRectF(0, 0, 20, 20), Qt::green));
    root->addSublayer(box);

    EXPECT_EQ(boundsOf(root->renderToImage(1), qRgb(255, 0, 0)), QRect(20, 65, 20, 10));
    EXPECT_EQ(boundsOf(root->renderToImage(2), qRgb(255, 0, 0)), QRect(40, 130, 40, 20));
    EXPECT_EQ(boundsOf(root->renderToImage(1), qRgb(0, 0, 255)), QRect(45, 30, 10, 40));
    const QImage image = root->renderToImage(1);
    EXPECT_EQ(boundsOf(image, qRgb(0, 255, 0)), QRect(72, 2, 16, 16));
    EXPECT_EQ(boundsOf(image, qRgb(0, 0, 0)), QRect(70, 0, 20, 20));
}

TEST(LayerComposition, LaterSublayersDrawOnTopHiddenOnesNotAtAll)
{
    auto root = whiteRoot(30, 30);
    auto red = solidLayer(QRectF(0, 0, 20, 20), Qt::red);
    auto blue = solidLayer(QRectF(10, 10, 20, 20), Qt::blue);
    root->addSublayer(red);
    root->addSublayer(blue);
    EXPECT_EQ(root->renderToImage(1).pixel(15, 15), qRgb(0, 0, 255));
    root->addSublayer(red);
    ASSERT_EQ(root->sublayers().size(), 2u);
    EXPECT_EQ(root->renderToImage(1).pixel(15, 15), qRgb(255, 0, 0));

    red->setHidden(true);
    blue->setOpacity(0.5);
    const QImage image = root->renderToImage(1);
    EXPECT_EQ(image.pixel(5, 5), qRgb(255, 255, 255));
    EXPECT_NEAR(qRed(image.pixel(15, 15)), 128, 2);
    EXPECT_NEAR(qBlue(image.pixel(15, 15)), 255, 2);
}

TEST(LayerComposition, CornerRadiusRoundsBackgroundAndMaskClipsSublayers)
{
    auto root = whiteRoot(40, 40);
    auto card = solidLayer(QRectF(0, 0, 40, 40), Qt::blue);
    card->setCornerRadius(10);
    auto inner = solidLayer(QRectF(0, 0, 40, 40), Qt::red);
    card->addSublayer(inner);
    root->addSublayer(card);

    // Without masking the square sublayer covers the rounded corner.
    EXPECT_EQ(root->renderToImage(1).pixel(0, 0), qRgb(255, 0, 0));
    inner->setHidden(true);
    EXPECT_EQ(root->renderToImage(1).pixel(0, 0), qRgb(255, 255, 255));
    EXPECT_EQ(root->renderToImage(1).pixel(20, 20), qRgb(0, 0, 255));
    inner->setHidden(false);
    card->setMasksToBounds(true);
    const QImage masked = root->renderToImage(1);
    EXPECT_EQ(masked.pixel(0, 0), qRgb(255, 255, 255));
    EXPECT_EQ(masked.pixel(20, 20), qRgb(255, 0, 0));
}

TEST(LayerComposition, ContentsStretchOverBounds)
{
    QImage picture(2, 1, QImage::Format_ARGB32_Premultiplied);
    picture.setPixel(0, 0, qRgb(255, 0, 0));
    picture.setPixel(1, 0, qRgb(0, 0, 255));
    auto layer = Layer::create();
    layer->setBounds(QRectF(0, 0, 40, 20));
    layer->setContents(picture);
    const QImage image = layer->renderToImage(1);
    EXPECT_EQ(image.pixel(2, 10), qRgb(255, 0, 0));
    EXPECT_EQ(image.pixel(37, 10), qRgb(0, 0, 255));
}

TEST(LayerTree, RefusesCyclesAndRemovalReleasesTheLayer)
{
    auto root = Layer::create();
    auto child = Layer::create();
    root->addSublayer(child);
    child->addSublayer(root); // would make a cycle
    child->addSublayer(child);
    EXPECT_EQ(root->superlayer(), nullptr);
    EXPECT_TRUE(child->sublayers().empty());

    std::weak_ptr<Layer> weak = child;
    child.reset();
    ASSERT_FALSE(weak.expired());
    weak.lock()->removeFromSuperlayer(); // the superlayer held the last reference
    EXPECT_TRUE(weak.expired());
    EXPECT_TRUE(root->sublayers().empty());
}

// --- Delegate drawing -------------------------------------------------------------------------

TEST(LayerDisplay, DelegateDrawsTopLeftYDownAtContentsScale)
{
    CountingDelegate delegate;
    auto root = whiteRoot(40, 40);
    auto layer = Layer::create();
    layer->setFrame(QRectF(10, 10, 20, 20));
    layer->setContentsScale(2);
    layer->setDelegate(&delegate);
    root->addSublayer(layer);
    layer->setNeedsDisplay();
    layer->displayIfNeeded();
    EXPECT_EQ(delegate.calls, 1);
    EXPECT_EQ(delegate.lastClip, QRectF(0, 0, 20, 20));
    EXPECT_EQ(boundsOf(root->renderToImage(2), qRgb(255, 0, 0)), QRect(20, 20, 20, 10));
}

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
