#pragma once
// What the window manager lists of a program: its windows in taskbars, pagers and window
// switchers.
class QWindow;

// Asks the window manager to leave Window out of taskbars, pagers and window switchers. On X11
// (XWayland included) these are the states _NET_WM_STATE_SKIP_TASKBAR and _SKIP_PAGER. They are
// put on the window while it is unmapped, where Qt keeps them when it maps the window; window
// managers drop _NET_WM_STATE when a window is withdrawn, so call it before every showing. A
// window already on the screen is asked for through the window manager. On Wayland no protocol
// offers it and nothing is done.
void SkipWindowLists(QWindow* Window);
