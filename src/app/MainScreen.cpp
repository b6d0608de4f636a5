#include "MainScreen.h"

#include <cstdio>

#include <QDir>

#include "AppSettings.h"
#include "platform/camera/CaptureBackend.h"
#include "ui/LumivueViewController.h"

namespace {

const QString kTimerKey = QStringLiteral("camera/selfTimer");

// A folder named with --album that does not exist yet is made, as the user who names a new
// folder expects. One that cannot be made is still used: each save then fails with the
// album's own "Error!" alert, which tells the user why, and nothing else is affected.
void prepareAlbumFolder(const QString& directory)
{
    if (directory.isEmpty() || QDir(directory).exists())
        return;
    if (!QDir().mkpath(directory)) {
        std::fprintf(stderr, "lumivue: --album: cannot create the folder %s; photos cannot be saved\n",
            qUtf8Printable(QDir::toNativeSeparators(directory)));
    }
}

} // namespace

std::unique_ptr<ui::LumivueViewController> makeMainScreen(
    const HostSettings& settings, std::shared_ptr<platform::CaptureBackend> backend)
{
    auto screen = std::make_unique<ui::LumivueViewController>(std::move(backend));
    // Empty: the user's default album (Pictures/Lumivue), made on the first save.
    prepareAlbumFolder(settings.albumDir);
    screen->setAlbumDirectory(settings.albumDir);
    screen->settings().setNightMode(settings.denoise);
    screen->settings().setStackFrames(settings.stackFrames);
    screen->setAudioEnabled(!settings.noAudio);
    // The self-timer is kept between starts, with the analytics choice in the app's settings.
    screen->setTimerSeconds(appSettings().value(kTimerKey, 0).toInt());
    ui::LumivueViewController* raw = screen.get();
    QObject::connect(raw, &ui::LumivueViewController::timerChanged, raw,
        [raw] { appSettings().setValue(kTimerKey, raw->timerSeconds()); });
    return screen;
}
