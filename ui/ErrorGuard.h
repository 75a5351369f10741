#pragma once

#include "ui/Dialogs.h"

#include <exception>
#include <functional>

// Each event handler runs inside guard(): an exception that nothing else
// caught is shown in the general error display, and the event loop goes on.
inline void guard(Dialogs &dialogs, const std::function<void()> &handler)
{
    try {
        handler();
    } catch (const std::exception &e) {
        dialogs.showError(QString::fromUtf8(e.what()));
    }
}
