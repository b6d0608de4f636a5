#pragma once

// The photo viewer: one album photo at full resolution, upright, in a zooming scroll view over
// the whole screen, presented modally over the camera screen. The zoom range runs from the scale
// that fits the whole photo to the screen's pixel scale; the photo stays centred while the zoom
// changes. `done` (the close control "viewImageDoneButton") clicks and dismisses the viewer.
//
// The photo is read and turned upright on the album's thread; the GUI thread only gets the
// finished image. It is first decoded at the size the screen can show (its longer side in device
// pixels), which is what the fitted photo needs; the full resolution is read, again on the album's
// thread, only once the user zooms in past what that picture holds. The image view always has the
// photo's full size in points, so the zoom range and the centring do not depend on which picture
// it holds. For a photo that is gone (deleted since its URL was stored), damaged (cut short) or
// cannot be read the viewer says so on the screen ("viewImageMessage", "viewImageMessageDetail")
// and stays open until Done.
//
// The viewer turns with the device, as a whole screen does: held sideways or upside down, its
// view is turned so the photo and the close control stay upright for the user, with the view's
// bounds the screen's size as the user now sees it; the zoom range is fitted again to that size
// and the photo centred, or, zoomed in, the zoom kept and the point at the centre of the view kept
// there. Lying flat (or an unknown orientation) keeps the last turn.
//
// Threads: GUI thread only. Destroying the viewer waits for a lookup under way and drops its
// result.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include <QPointF>
#include <QSizeF>
#include <QString>

#include "platform/album/AssetURL.h"
#include "platform/ui/ScrollViewDelegate.h"
#include "platform/ui/ViewController.h"

class QObject;

namespace platform {
class AssetsLibrary;
class Button;
class ImageView;
class ScrollView;
} // namespace platform

namespace photos {

class ViewImageController : public platform::ViewController, public platform::ScrollViewDelegate {
public:
    // Modal transition style 1: the horizontal flip.
    static constexpr int kModalTransitionFlipHorizontal = 1;

    // Photos are looked up in the album folder `albumDirectory`.
    explicit ViewImageController(QString albumDirectory);
    ~ViewImageController() override;

    // The photo to show; set by the opener before the view loads.
    void setImageURL(const platform::AssetURL& url) { m_imageURL = url; }
    const platform::AssetURL& imageURL() const { return m_imageURL; }
    platform::ScrollView* scrollView() const { return m_scrollView; }
    // Null until the photo has arrived.
    platform::ImageView* imageView() const { return m_imageView; }
    // The photo's upright size in pixels (empty until it has arrived), and whether the image view
    // holds it at that full resolution yet.
    QSizeF photoSize() const { return m_photoSize; }
    bool showsFullResolution() const { return m_fullResolution; }
    int modalTransitionStyle() const { return m_modalTransitionStyle; }

    // Fits the zoom range to an image of width × height points: minimum (and current) zoom the
    // scale at which the whole image fits, but never above the maximum, the screen's scale. A
    // size that is not positive and finite changes nothing.
    void configureForImageSize(float width, float height);
    // Centres the image view in the visible area where it is smaller than the view.
    void layoutSubviews();
    void done();
    // Turns the viewer for a device orientation (1-4; others keep the present turn).
    void turnToOrientation(int orientation);
    // The device orientation the viewer is turned for (1 until the first turn).
    int interfaceOrientation() const { return m_interfaceOrientation; }
    bool shouldAutorotateToInterfaceOrientation(int orientation) const
    {
        static_cast<void>(orientation);
        return true;
    }

    // Called once the photo, or the message that it cannot be shown, is on the screen (tests and
    // the benchmark wait for it).
    void setImageShownCallback(std::function<void()> callback) { m_imageShown = std::move(callback); }

    void loadView() override;
    void viewDidLoad() override;
    void viewWillAppear(bool animated) override;

    platform::View* viewForZooming(platform::ScrollView& scrollView) override;
    void scrollViewDidZoom(platform::ScrollView& scrollView) override;

private:
    // Reads the photo on the album's thread, decoded to fit `bounds` (pixels; empty: full size).
    void loadPhoto(const QSize& bounds);
    void showPhoto(const QImage& upright, int orientation, const QSize& photoSize);
    void loadFullResolutionWhenZoomedPast();
    void layOutControls();
    // The photo point (unzoomed) at the centre of the view; none before the photo is shown.
    std::optional<QPointF> photoPointAtCentre() const;
    void fitAfterTurn(const std::optional<QPointF>& centre);
    // The message in place of the photo: damaged (a cut-short file), or gone or unreadable.
    void showUnavailable(bool damaged);

    QString m_albumDirectory;
    platform::AssetURL m_imageURL;
    platform::ScrollView* m_scrollView { nullptr }; // owned by the view
    platform::ImageView* m_imageView { nullptr }; // owned by the scroll view
    QSizeF m_photoSize;
    bool m_fullResolution { false };
    bool m_fullResolutionRequested { false };
    int m_modalTransitionStyle { 0 };
    int m_interfaceOrientation { 1 };
    std::uint64_t m_orientationObserver { 0 };
    platform::Button* m_doneButton { nullptr }; // owned by the view
    std::function<void()> m_imageShown;
    // Context of the lookup's result on the GUI thread; outlives m_library, so the library's
    // last deliveries still find it, and then drops them.
    std::unique_ptr<QObject> m_guiContext;
    std::unique_ptr<platform::AssetsLibrary> m_library; // while a lookup runs or has run
};

} // namespace photos
