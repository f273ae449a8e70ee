// Message boxes. The libraries show their few messages through this hook; the
// default writes "caption: text" to standard error, the operator program
// installs a modal dialog and tests install a capturing handler.
#pragma once

#include <functional>
#include <string>

#include "platform/export.h"

namespace platform::msgbox {

using Handler = std::function<void(const std::string& text, const std::string& caption)>;

// Shows one message; returns when the user has dismissed it.
PLATFORM_EXPORT void show(const std::string& text, const std::string& caption);

// Installs a handler and returns the previous one; an empty handler restores
// the default.
PLATFORM_EXPORT Handler setHandler(Handler handler);

}  // namespace platform::msgbox
