#include "MainScreen.h"

#include "DemoViewController.h"

std::unique_ptr<platform::ViewController> makeMainScreen(const HostSettings&)
{
    return std::make_unique<DemoViewController>();
}
