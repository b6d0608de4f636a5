#include "photos/ViewImageController.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include <QCoreApplication>
#include <QMetaObject>
#include <QObject>
#include <QPointer>

#include "platform/album/AssetsLibrary.h"
#include "platform/album/ImageOrientation.h"
#include "platform/core/Log.h"
#include "platform/core/NotificationCenter.h"
#include "platform/device/Device.h"
#include "platform/device/InterfaceTurn.h"
#include "platform/device/Screen.h"
#include "platform/device/SystemSound.h"
#include "platform/graphics/Layer.h"
#include "platform/ui/Button.h"
#include "platform/ui/ControlEvent.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "platform/ui/ScrollView.h"

namespace photos {

namespace {

// The longest side, in device pixels, the screen can show of a fitted photo in any turn.
QSize screenPixelBounds()
{
    const platform::Screen& screen = platform::Screen::main();
    const QSizeF points = screen.bounds().size();
    const int side = int(std::ceil(std::max(points.width(), points.height()) * screen.scale()));
    return QSize(side, side);
}

} // namespace

ViewImageController::ViewImageController(QString albumDirectory)
    : m_albumDirectory(std::move(albumDirectory))
    , m_guiContext(std::make_unique<QObject>())
{
}

ViewImageController::~ViewImageController()
{
    if (m_orientationObserver) {
        platform::NotificationCenter::defaultCenter().removeObserver(m_orientationObserver);
        platform::Device::current().endGeneratingDeviceOrientationNotifications();
    }
    // The library drains first (its result posts to a context that still exists), then the
    // context goes and takes the undelivered result with it.
    m_library.reset();
    m_guiContext.reset();
}

void ViewImageController::loadView()
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    const QRectF screen = platform::Screen::main().bounds();
    auto view = std::make_unique<platform::View>(screen);
    view->setBackgroundColor(Qt::black);
    view->setAccessibilityName(QStringLiteral("viewImageView"));

    auto scroll = std::make_unique<platform::ScrollView>(QRectF(QPointF(0, 0), screen.size()));
    scroll->setBackgroundColor(Qt::black);
    scroll->setClipsToBounds(true);
    scroll->setDelegate(this);
    scroll->setAccessibilityName(QStringLiteral("viewImageScrollView"));
    m_scrollView = static_cast<platform::ScrollView*>(view->addSubview(std::move(scroll)));

    auto button = std::make_unique<platform::Button>(QRectF(0, 0, 60, 32), QStringLiteral("Done"));
    // A light outline keeps the button readable over the black margins as well as over the photo.
    button->setBackgroundColor(QColor(0, 0, 0, 140));
    button->setTitleColor(Qt::white);
    button->layer().setCornerRadius(8);
    button->layer().setBorderWidth(1);
    button->layer().setBorderColor(QColor(255, 255, 255, 200));
    button->setAccessibilityName(QStringLiteral("viewImageDoneButton"));
    button->addTarget(
        this, [this](platform::Control&, const platform::Touch*) { done(); },
        platform::ControlEventTouchUpInside);
    m_doneButton = static_cast<platform::Button*>(view->addSubview(std::move(button)));
    setView(std::move(view));
    layOutControls();
}

// The scroll view fills the view; the close control sits in its top-right corner.
void ViewImageController::layOutControls()
{
    const QSizeF size = view().bounds().size();
    m_scrollView->setFrame(QRectF(QPointF(0, 0), size));
    m_doneButton->setFrame(QRectF(size.width() - 76, 16, 60, 32));
}

void ViewImageController::turnToOrientation(int orientation)
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    const std::optional<float> turn = platform::interfaceTurnForOrientation(orientation);
    if (!turn)
        return; // lying flat or unknown: the user still sees the viewer as it is
    const float angle = *turn;
    if (orientation == m_interfaceOrientation)
        return;
    m_interfaceOrientation = orientation;
    const std::optional<QPointF> centre = photoPointAtCentre(); // before the bounds change
    const QRectF screen = platform::Screen::main().bounds();
    const bool sideways = orientation == 3 || orientation == 4;
    platform::View& root = view();
    platform::View::beginAnimations(QStringLiteral("ViewImageController.turn"));
    platform::View::setAnimationDuration(0.3);
    root.setTransform(QTransform());
    root.setBounds(QRectF(QPointF(0, 0), sideways ? screen.size().transposed() : screen.size()));
    root.setCenter(screen.center());
    root.setTransform(QTransform().rotateRadians(angle));
    layOutControls();
    if (m_imageView)
        fitAfterTurn(centre);
    platform::View::commitAnimations();
}

std::optional<QPointF> ViewImageController::photoPointAtCentre() const
{
    const qreal zoom = m_scrollView->zoomScale();
    if (!m_imageView || !(zoom > 0))
        return std::nullopt;
    return (m_scrollView->bounds().center() - m_imageView->frame().topLeft()) / zoom;
}

// Fitted again to the new shape; a photo the user had zoomed into keeps its zoom where the new
// range allows it, and the photo point at the centre of the view stays there.
void ViewImageController::fitAfterTurn(const std::optional<QPointF>& centre)
{
    platform::ScrollView& scroll = *m_scrollView;
    const bool wasFitted = scroll.zoomScale() <= scroll.minimumZoomScale() * 1.0001;
    const qreal zoom = scroll.zoomScale();
    configureForImageSize(float(m_photoSize.width()), float(m_photoSize.height()));
    if (wasFitted)
        return;
    scroll.setZoomScale(zoom);
    layoutSubviews();
    if (centre) {
        const QPointF shownAt = m_imageView->frame().topLeft() + *centre * scroll.zoomScale();
        scroll.setContentOffset(shownAt - QPointF(scroll.bounds().width(), scroll.bounds().height()) / 2);
    }
}

void ViewImageController::viewDidLoad()
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    m_modalTransitionStyle = kModalTransitionFlipHorizontal;
    if (!m_orientationObserver) {
        platform::Device::current().beginGeneratingDeviceOrientationNotifications();
        m_orientationObserver = platform::NotificationCenter::defaultCenter().addObserver(
            platform::Device::orientationDidChangeNotification, this, [this](const platform::Notification&) {
                turnToOrientation(platform::Device::current().orientation());
            });
    }
    turnToOrientation(platform::Device::current().orientation()); // opened while held sideways
    if (!m_imageURL.isEmpty())
        loadPhoto(screenPixelBounds());
}

void ViewImageController::viewWillAppear(bool animated)
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    ViewController::viewWillAppear(animated);
    if (m_imageView)
        configureForImageSize(float(m_photoSize.width()), float(m_photoSize.height()));
}

void ViewImageController::loadPhoto(const QSize& bounds)
{
    if (!m_library)
        m_library = std::make_unique<platform::AssetsLibrary>(
            m_albumDirectory, platform::AssetsLibrary::FolderCreation::Never);
    QObject* context = m_guiContext.get();
    auto deliver = [context, this](QImage upright, int orientation, QSize photoSize, QString damage = {}) {
        QMetaObject::invokeMethod(
            context,
            [this, upright = std::move(upright), orientation, photoSize, damage] {
                if (upright.isNull()) {
                    if (m_imageView)
                        return; // the full resolution failed: keep what is shown
                    platform::logLine(platform::lcPhotos(),
                        damage.isEmpty()
                            ? QStringLiteral("Error taking thumbnail")
                            : QStringLiteral("Error taking thumbnail: the file is damaged: ") + damage);
                    showUnavailable(!damage.isEmpty());
                    return;
                }
                showPhoto(upright, orientation, photoSize);
            },
            Qt::QueuedConnection);
    };
    m_library->assetForURL(
        m_imageURL,
        [deliver, bounds](const std::shared_ptr<platform::Asset>& asset) {
            // The decode and the turn happen here, on the album's thread.
            if (!asset) {
                deliver(QImage(), 0, QSize()); // the photo is gone: nothing to fit
                return;
            }
            const platform::AssetRepresentation representation = asset->defaultRepresentation();
            QSize stored;
            QString damage;
            const QImage image = representation.imageFitting(bounds, &stored, &damage);
            if (image.isNull()) {
                deliver(QImage(), 0, QSize(), damage);
                return;
            }
            const int orientation = representation.orientation();
            const int exif = platform::exifOrientationForImageOrientation(orientation);
            const QImage upright = platform::imageTurnedUpright(image, exif);
            const bool quarterTurn = exif >= 5 && exif <= 8;
            deliver(upright, orientation, quarterTurn ? stored.transposed() : stored);
        },
        [deliver](const platform::AlbumError&) { deliver(QImage(), 0, QSize()); });
}

void ViewImageController::showPhoto(const QImage& upright, int orientation, const QSize& photoSize)
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    const bool full = upright.size() == photoSize;
    if (m_imageView) {
        // The full resolution replacing the screen-sized picture: same frame, same zoom.
        if (full && !m_fullResolution) {
            m_imageView->setImage(upright);
            m_fullResolution = true;
        }
        return;
    }
    m_photoSize = QSizeF(photoSize);
    m_fullResolution = full;
    auto imageView = std::make_unique<platform::ImageView>(QRectF(QPointF(0, 0), m_photoSize), upright);
    imageView->setAccessibilityName(QStringLiteral("viewImageImageView"));
    m_scrollView->setZoomScale(0);
    m_imageView = static_cast<platform::ImageView*>(m_scrollView->addSubview(std::move(imageView)));
    configureForImageSize(float(m_photoSize.width()), float(m_photoSize.height()));
    platform::log(platform::lcPhotos(), "taking Full size image OK. Orientation %d", orientation);
    if (m_imageShown)
        m_imageShown();
}

// Once a device pixel of the zoomed photo covers less than a pixel of the screen-sized picture,
// the picture would look soft: read the full resolution (once).
void ViewImageController::loadFullResolutionWhenZoomedPast()
{
    if (!m_imageView || m_fullResolution || m_fullResolutionRequested || m_photoSize.isEmpty())
        return;
    const qreal shownWidth = m_imageView->image().width();
    const qreal devicePixelsWide
        = m_scrollView->zoomScale() * platform::Screen::main().scale() * m_photoSize.width();
    if (devicePixelsWide <= shownWidth * 1.01)
        return;
    m_fullResolutionRequested = true;
    loadPhoto(QSize());
}

void ViewImageController::showUnavailable(bool damaged)
{
    // Said on the screen, not only in a log: a black (or half grey) viewer would leave the user
    // guessing. The viewer stays open until Done, like one showing a photo.
    const QRectF bounds = view().bounds();
    const QString lines[] = { QCoreApplication::translate(
                                  "ViewImageController", "This photo cannot be shown."),
        damaged ? QCoreApplication::translate("ViewImageController", "The file is damaged.")
                : QCoreApplication::translate("ViewImageController", "It was deleted or cannot be read.") };
    for (int i = 0; i < 2; ++i) {
        auto label = std::make_unique<platform::Label>(
            QRectF(16, bounds.height() / 2 - 24 + 26 * i, bounds.width() - 32, 24), lines[i]);
        label->setTextColor(Qt::white);
        label->setTextAlignment(platform::Label::AlignmentCenter);
        label->setAccessibilityName(
            i == 0 ? QStringLiteral("viewImageMessage") : QStringLiteral("viewImageMessageDetail"));
        view().addSubview(std::move(label));
    }
    if (m_imageShown)
        m_imageShown();
}

void ViewImageController::configureForImageSize(float width, float height)
{
    if (!(std::isfinite(width) && std::isfinite(height) && width > 0 && height > 0) || !m_scrollView)
        return;
    const QSizeF bounds = view().bounds().size();
    const float xScale = float(bounds.width()) / width;
    const float yScale = float(bounds.height()) / height;
    float minScale = xScale < yScale ? xScale : yScale;
    const float maxScale = float(platform::Screen::main().scale());
    if (minScale > maxScale)
        minScale = maxScale;
    m_scrollView->setContentSize(QSizeF(width, height));
    m_scrollView->setMaximumZoomScale(maxScale);
    m_scrollView->setMinimumZoomScale(minScale);
    m_scrollView->setZoomScale(minScale);
    layoutSubviews();
}

void ViewImageController::layoutSubviews()
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    if (!m_imageView)
        return;
    const QSizeF bounds = view().bounds().size();
    QRectF frame = m_imageView->frame();
    frame.moveLeft(frame.width() < bounds.width() ? (bounds.width() - frame.width()) * 0.5 : 0.0);
    frame.moveTop(frame.height() < bounds.height() ? (bounds.height() - frame.height()) * 0.5 : 0.0);
    m_imageView->setFrame(frame);
}

void ViewImageController::done()
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    platform::SystemSound::play(platform::SystemSound::clickSoundId);
    dismissModalViewController(true);
}

platform::View* ViewImageController::viewForZooming(platform::ScrollView&)
{
    return m_imageView;
}

void ViewImageController::scrollViewDidZoom(platform::ScrollView&)
{
    LUMIVUE_CHECK_THREAD(m_guiThread);
    layoutSubviews();
    loadFullResolutionWhenZoomedPast();
}

} // namespace photos
