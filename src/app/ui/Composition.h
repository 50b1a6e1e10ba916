#pragma once
// The program's composition root: the real services are built here, once,
// and handed to the main window, which passes each piece only what it uses.

#include "app/WindowServices.h"

class QApplication;

namespace sondrel {

// The system's clock, ICMP carrier, resolver, network settings, keep-awake,
// message boxes and desktop launcher.
WindowServices SystemServices();

// The desktop file name and window icon every window of the program carries.
void SetDesktopIdentity();

// Builds the real services, shows the main window and runs the event loop.
int RunMainWindow(QApplication& app);

}  // namespace sondrel
