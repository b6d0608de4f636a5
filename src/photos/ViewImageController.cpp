#include "photos/ViewImageController.h"

#include <cmath>

#include <QMetaObject>
#include <QObject>
#include <QPointer>

#include "platform/album/AssetsLibrary.h"
#include "platform/album/ImageOrientation.h"
#include "platform/core/Log.h"
#include "platform/graphics/Layer.h"
#include "platform/ui/Button.h"
#include "platform/ui/ControlEvent.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "platform/ui/Screen.h"
#include "platform/ui/ScrollView.h"
#include "platform/ui/SystemSound.h"

namespace photos {

ViewImageController::ViewImageController(QString albumDirectory)
    : m_albumDirectory(std::move(albumDirectory))
    , m_guiContext(std::make_unique<QObject>())
{
}

ViewImageController::~ViewImageController()
{
    // The library drains first (its result posts to a context that still exists), then the
    // context goes and takes the undelivered result with it.
    m_library.reset();
    m_guiContext.reset();
}

void ViewImageController::loadView()
{
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

    auto button = std::make_unique<platform::Button>(QRectF(screen.width() - 76, 16, 60, 32), QStringLiteral("Done"));
    // A light outline keeps the button readable over the black margins as well as over the photo.
    button->setBackgroundColor(QColor(0, 0, 0, 140));
    button->setTitleColor(Qt::white);
    button->layer().setCornerRadius(8);
    button->layer().setBorderWidth(1);
    button->layer().setBorderColor(QColor(255, 255, 255, 200));
    button->setAccessibilityName(QStringLiteral("viewImageDoneButton"));
    button->addTarget(this, [this](platform::Control&, const platform::Touch*) { done(); }, platform::ControlEventTouchUpInside);
    view->addSubview(std::move(button));
    setView(std::move(view));
}

void ViewImageController::viewDidLoad()
{
    m_modalTransitionStyle = kModalTransitionFlipHorizontal;
    if (!m_imageURL.isEmpty())
        loadPhoto();
}

void ViewImageController::viewWillAppear(bool animated)
{
    ViewController::viewWillAppear(animated);
    if (m_imageView) {
        const QSizeF size = m_imageView->image().size();
        configureForImageSize(float(size.width()), float(size.height()));
    }
}

void ViewImageController::loadPhoto()
{
    if (!m_library)
        m_library = std::make_unique<platform::AssetsLibrary>(m_albumDirectory, platform::AssetsLibrary::FolderCreation::Never);
    QObject* context = m_guiContext.get();
    auto deliver = [context, this](QImage upright, int orientation, bool found) {
        QMetaObject::invokeMethod(
            context,
            [this, upright = std::move(upright), orientation, found] {
                if (!found) {
                    platform::logLine(QStringLiteral("Error taking thumbnail"));
                    showUnavailable();
                    return;
                }
                showPhoto(upright, orientation);
            },
            Qt::QueuedConnection);
    };
    m_library->assetForURL(
        m_imageURL,
        [deliver](const std::shared_ptr<platform::Asset>& asset) {
            // The decode and the turn happen here, on the album's thread.
            if (!asset) {
                deliver(QImage(), 0, false); // the photo is gone: nothing to fit
                return;
            }
            const platform::AssetRepresentation representation = asset->defaultRepresentation();
            const QImage stored = representation.fullResolutionImage();
            const int orientation = representation.orientation();
            const QImage upright = platform::imageTurnedUpright(
                stored, platform::exifOrientationForImageOrientation(orientation));
            deliver(upright, orientation, !upright.isNull());
        },
        [deliver](const platform::AlbumError&) { deliver(QImage(), 0, false); });
}

void ViewImageController::showPhoto(const QImage& upright, int orientation)
{
    auto imageView = std::make_unique<platform::ImageView>(QRectF(QPointF(0, 0), upright.size()), upright);
    imageView->setAccessibilityName(QStringLiteral("viewImageImageView"));
    if (m_imageView)
        m_imageView->removeFromSuperview();
    m_scrollView->setZoomScale(0);
    m_imageView = static_cast<platform::ImageView*>(m_scrollView->addSubview(std::move(imageView)));
    configureForImageSize(float(upright.width()), float(upright.height()));
    platform::log("taking Full size image OK. Orientation %d", orientation);
    if (m_imageShown)
        m_imageShown();
}

void ViewImageController::showUnavailable()
{
    // Said on the screen, not only in a log: a black viewer would leave the user guessing. The
    // viewer stays open until Done, like one showing a photo.
    const QRectF bounds = view().bounds();
    const QString lines[] = { QStringLiteral("This photo cannot be shown."),
                              QStringLiteral("It was deleted or cannot be read.") };
    for (int i = 0; i < 2; ++i) {
        auto label = std::make_unique<platform::Label>(
            QRectF(16, bounds.height() / 2 - 24 + 26 * i, bounds.width() - 32, 24), lines[i]);
        label->setTextColor(Qt::white);
        label->setTextAlignment(platform::Label::AlignmentCenter);
        label->setAccessibilityName(i == 0 ? QStringLiteral("viewImageMessage") : QStringLiteral("viewImageMessageDetail"));
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
    platform::SystemSound::play(platform::SystemSound::clickSoundId);
    dismissModalViewController(true);
}

platform::View* ViewImageController::viewForZooming(platform::ScrollView&)
{
    return m_imageView;
}

void ViewImageController::scrollViewDidZoom(platform::ScrollView&)
{
    layoutSubviews();
}

} // namespace photos
