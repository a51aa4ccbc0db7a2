#pragma once
// Keeping a top-level window off the taskbar and the pager. Qt::Tool is not
// enough under EWMH window managers: the state hints must be on the native X11
// window before it is mapped. Elsewhere (offscreen, Wayland) this does nothing.

class QWidget;

namespace platform {

// Call before each show: a window manager drops the state when a window is withdrawn.
void SetSkipTaskbar(QWidget* window);

} // namespace platform
