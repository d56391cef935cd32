#include "platform/KVWindowList.h"

#include <xcb/xcb.h>

#include <QGuiApplication>
#include <QList>
#include <QWindow>
#include <cstdlib>
#include <cstring>

#include "platform/KVXcbAtom.h"

namespace {

xcb_connection_t* QtConnection() {
  if (QGuiApplication::platformName() != QLatin1String("xcb")) return nullptr;
  auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
  return x11 ? x11->connection() : nullptr;
}

}  // namespace

void SkipWindowLists(QWindow* Window) {
  xcb_connection_t* c = Window ? QtConnection() : nullptr;
  if (!c) return;
  const xcb_window_t window = xcb_window_t(Window->winId());
  const xcb_atom_t state = XcbAtom(c, "_NET_WM_STATE");
  const xcb_atom_t skip[] = {XcbAtom(c, "_NET_WM_STATE_SKIP_TASKBAR"), XcbAtom(c, "_NET_WM_STATE_SKIP_PAGER")};
  if (state == XCB_ATOM_NONE || skip[0] == XCB_ATOM_NONE || skip[1] == XCB_ATOM_NONE) return;

  if (Window->isVisible()) {
    // A mapped window's states belong to the window manager: ask it (EWMH: add, from an application).
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    xcb_client_message_event_t event;
    std::memset(&event, 0, sizeof event);
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = state;
    event.data.data32[0] = 1;
    event.data.data32[1] = skip[0];
    event.data.data32[2] = skip[1];
    event.data.data32[3] = 1;
    if (screen)
      xcb_send_event(c, 0, screen->root, XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                     reinterpret_cast<const char*>(&event));
  } else {
    QList<xcb_atom_t> atoms;
    xcb_get_property_reply_t* reply =
        xcb_get_property_reply(c, xcb_get_property(c, 0, window, state, XCB_ATOM_ATOM, 0, 1024), nullptr);
    if (reply && reply->format == 32 && reply->type == XCB_ATOM_ATOM) {
      const auto* data = static_cast<const xcb_atom_t*>(xcb_get_property_value(reply));
      for (int i = 0; i < xcb_get_property_value_length(reply) / 4; ++i) atoms << data[i];
    }
    std::free(reply);
    for (const xcb_atom_t a : skip)
      if (!atoms.contains(a)) atoms << a;
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, state, XCB_ATOM_ATOM, 32, uint32_t(atoms.size()),
                        atoms.constData());
  }
  xcb_flush(c);
}
