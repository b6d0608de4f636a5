#pragma once

// The C++ types the camera screen's QML uses ("import Lumivue"), and its resources. Once per
// process, before the first QML is loaded.

namespace ui {

void registerQmlTypes();

} // namespace ui
