#include "ui/QmlTypes.h"

#include <QQmlEngine>

#include "photos/PhotoViewer.h"
#include "ui/CameraPreviewItem.h"
#include "ui/PictureItem.h"

// The QML files are in the ui library's resources; a static library's must be pulled in by name.
static void initResources()
{
    Q_INIT_RESOURCE(lumivue_qml);
}

namespace ui {

void registerQmlTypes()
{
    initResources();
    qmlRegisterType<PictureItem>("Lumivue", 1, 0, "PictureItem");
    qmlRegisterType<CameraPreviewItem>("Lumivue", 1, 0, "CameraPreviewItem");
    qmlRegisterType<photos::PhotoViewer>("Lumivue", 1, 0, "PhotoViewer");
    // Main.qml's folder also holds its components (OptionButton, SymbolButton …): they come by
    // being beside it, with no import of their own.
}

} // namespace ui
