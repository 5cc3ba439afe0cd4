#pragma once

// The application's own X11 connection, shared by the thin X11 layers. Null
// when the program does not run on X11 (Wayland, Qt's offscreen platform, no
// application object), so every caller degrades quietly.

struct _XDisplay;
struct xcb_connection_t;

namespace velbrin::platform {

struct X11Connection {
    _XDisplay *display = nullptr;
    xcb_connection_t *connection = nullptr;
    unsigned int rootWindow = 0;
    explicit operator bool() const { return connection != nullptr; }
};

X11Connection applicationX11Connection();

} // namespace velbrin::platform
