// What a program put on the clipboard of a test's display, as another
// program pasting it would get it: for texts a person copies out of a
// window (a message box's, after a click into it and Ctrl+A Ctrl+C).
#pragma once

#include <chrono>
#include <string>

#include "testing/x_session.h"

namespace krv::testing {

// The clipboard's text (UTF-8) on the display of `x`; "" when nobody owns
// the clipboard or its owner gives no text within `timeout`.
std::string ClipboardText(const XSession& x, std::chrono::milliseconds timeout = 5s);

}  // namespace krv::testing
