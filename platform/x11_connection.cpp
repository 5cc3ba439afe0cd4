#include "x11_connection.h"

#include <QGuiApplication>

#include <X11/Xlib.h>

namespace velbrin::platform {

X11Connection applicationX11Connection() {
    auto *app = qobject_cast<QGuiApplication *>(QCoreApplication::instance());
    if (app == nullptr)
        return {};
    auto *x11 = app->nativeInterface<QNativeInterface::QX11Application>();
    if (x11 == nullptr || x11->display() == nullptr || x11->connection() == nullptr)
        return {};
    return {x11->display(), x11->connection(),
            static_cast<unsigned int>(DefaultRootWindow(x11->display()))};
}

} // namespace velbrin::platform
