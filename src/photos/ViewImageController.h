#pragma once

// The photo viewer: one album photo at full resolution, upright, in a zooming scroll view over
// the whole screen, presented modally over the camera screen. The zoom range runs from the scale
// that fits the whole photo to the screen's pixel scale; the photo stays centred while the zoom
// changes. `done` (the close control "viewImageDoneButton") clicks and dismisses the viewer.
//
// The photo is read and turned upright on the album's thread; the GUI thread only gets the
// finished image. For a photo that is gone (deleted since its URL was stored) or cannot be read
// the viewer says so on the screen ("viewImageMessage") and stays open until Done.
//
// Threads: GUI thread only. Destroying the viewer waits for a lookup under way and drops its
// result.

#include <functional>
#include <memory>

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
    int modalTransitionStyle() const { return m_modalTransitionStyle; }

    // Fits the zoom range to an image of width × height points: minimum (and current) zoom the
    // scale at which the whole image fits, but never above the maximum, the screen's scale. A
    // size that is not positive and finite changes nothing.
    void configureForImageSize(float width, float height);
    // Centres the image view in the visible area where it is smaller than the view.
    void layoutSubviews();
    void done();
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
    void loadPhoto();
    void showPhoto(const QImage& upright, int orientation);
    void showUnavailable();

    QString m_albumDirectory;
    platform::AssetURL m_imageURL;
    platform::ScrollView* m_scrollView { nullptr }; // owned by the view
    platform::ImageView* m_imageView { nullptr };   // owned by the scroll view
    int m_modalTransitionStyle { 0 };
    std::function<void()> m_imageShown;
    // Context of the lookup's result on the GUI thread; outlives m_library, so the library's
    // last deliveries still find it, and then drops them.
    std::unique_ptr<QObject> m_guiContext;
    std::unique_ptr<platform::AssetsLibrary> m_library; // while a lookup runs or has run
};

} // namespace photos
