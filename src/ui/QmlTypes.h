#pragma once

// The C++ types the camera screen's QML uses ("import Lumivue"), and its resources. Once per
// process, before the first QML is loaded.

class QQmlEngine;

namespace ui {

void registerQmlTypes();
// The button symbols ("image://art/…") for that engine.
void addImageProviders(QQmlEngine& engine);

} // namespace ui
