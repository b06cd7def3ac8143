// The clipboard's text, asked of its owner as any pasting program asks it.
#include "testing/x_clipboard.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <poll.h>

#include <climits>

namespace krv::testing {

std::string ClipboardText(const XSession& x, std::chrono::milliseconds timeout) {
  ::Display* d = XOpenDisplay(x.Display().c_str());
  if (!d) return "";
  ::Window w = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 1, 1, 0, 0, 0);
  const Atom clipboard = XInternAtom(d, "CLIPBOARD", False);
  const Atom utf8 = XInternAtom(d, "UTF8_STRING", False);
  const Atom into = XInternAtom(d, "KRV_PASTED", False);
  XConvertSelection(d, clipboard, utf8, into, w, CurrentTime);
  XFlush(d);
  std::string text;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (bool answered = false; !answered;) {
    while (!answered && XPending(d) > 0) {
      XEvent e;
      XNextEvent(d, &e);
      if (e.type != SelectionNotify) continue;
      answered = true;
      if (e.xselection.property == None) break;
      Atom type = None;
      int format = 0;
      unsigned long items = 0, after = 0;
      unsigned char* data = nullptr;
      if (XGetWindowProperty(d, w, into, 0, LONG_MAX / 4, True, AnyPropertyType, &type, &format, &items,
                             &after, &data) == Success &&
          data && format == 8)
        text.assign(reinterpret_cast<const char*>(data), items);
      if (data) XFree(data);
    }
    if (answered) break;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd p{ConnectionNumber(d), POLLIN, 0};
    ::poll(&p, 1, int(left.count()));
  }
  XDestroyWindow(d, w);
  XCloseDisplay(d);
  return text;
}

}  // namespace krv::testing
