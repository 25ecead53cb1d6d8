#pragma once

#include "app/kex_main.h"

#include <memory>

namespace varnel {

// Creates every window once, in the program's start-up order: the main window first, then the
// learn dialog, the match dialog, the terminal, the port options, the project setup, the About
// box and the meter editor. The dialogs are children of the main window.
std::unique_ptr<TMainForm> CreateWindows(AppState& state, BoxLink& link, UiServices& ui);

}  // namespace varnel
