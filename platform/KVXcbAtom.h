#pragma once
// An X atom by name on an xcb connection (XCB_ATOM_NONE when the server does not answer).
#include <xcb/xcb.h>

#include <QByteArray>
#include <cstdlib>

inline xcb_atom_t XcbAtom(xcb_connection_t* c, const QByteArray& name) {
  xcb_intern_atom_reply_t* reply =
      xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(name.size()), name.constData()), nullptr);
  const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
  std::free(reply);
  return atom;
}
