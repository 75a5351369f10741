#pragma once

#include "app/WindowRegistry.h"

// Creates the long-lived windows in their fixed order and records them in
// the registry; the compact panel, created first, is the main window.
// The caller keeps the windows alive (DestroyWindows frees them).
void CreateWindows(WindowRegistry &registry);
void DestroyWindows(WindowRegistry &registry);
