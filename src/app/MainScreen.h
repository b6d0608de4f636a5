#pragma once

// The one place that decides which screen the app shows first.

#include <memory>

#include "HostSettings.h"
#include "platform/ui/ViewController.h"

std::unique_ptr<platform::ViewController> makeMainScreen(const HostSettings& settings);
