#pragma once

// The user's lasting choice about usage analytics (`lumivue --analytics off|on`), kept in the
// app's Qt settings at their standard location (organisation and application "lumivue":
// $XDG_CONFIG_HOME/lumivue/lumivue.conf, key analytics/enabled). No stored choice means on.
// Main thread; callable before the application object exists.

namespace AnalyticsChoice {

bool isOn();
// Returns false when the settings could not be written (the choice would not last).
bool store(bool on);

} // namespace AnalyticsChoice
