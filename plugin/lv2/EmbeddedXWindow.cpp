#include "EmbeddedXWindow.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <stdexcept>

namespace {
Display* dpy(void* d)
{
    return static_cast<Display*>(d);
}
} // namespace

EmbeddedXWindow::EmbeddedXWindow(std::uintptr_t parent, Size initial, std::uint32_t backgroundRgb) : size(initial)
{
    display = XOpenDisplay(nullptr);
    if (display == nullptr)
        throw std::runtime_error("cannot open the X display");
    XSetWindowAttributes attributes{};
    attributes.background_pixel = backgroundRgb;  // TrueColor visuals take the pixel as RGB
    attributes.event_mask = StructureNotifyMask;
    window = XCreateWindow(dpy(display), static_cast<::Window>(parent), 0, 0, static_cast<unsigned>(initial.width),
                           static_cast<unsigned>(initial.height), 0, CopyFromParent, InputOutput, nullptr,
                           CWBackPixel | CWEventMask, &attributes);
    XMapWindow(dpy(display), window);
    // Made on the server before anyone else (the toolkit, on its own connection) puts a window
    // inside it: a flush only sends the request.
    XSync(dpy(display), False);
}

EmbeddedXWindow::~EmbeddedXWindow()
{
    XDestroyWindow(dpy(display), window);
    XCloseDisplay(dpy(display));
}

int EmbeddedXWindow::connectionNumber() const noexcept
{
    return ConnectionNumber(dpy(display));
}

std::optional<EmbeddedXWindow::Size> EmbeddedXWindow::takeNewSize()
{
    const Size before = size;
    while (XPending(dpy(display)) > 0) {
        XEvent event;
        XNextEvent(dpy(display), &event);
        if (event.type == ConfigureNotify && event.xconfigure.window == window)
            size = {event.xconfigure.width, event.xconfigure.height};
    }
    return size == before ? std::nullopt : std::optional(size);
}

void EmbeddedXWindow::resize(Size s)
{
    XResizeWindow(dpy(display), window, static_cast<unsigned>(s.width), static_cast<unsigned>(s.height));
    XFlush(dpy(display));
}

void EmbeddedXWindow::setSizeHints(Size minimum, Size maximum, Size preferred)
{
    XSizeHints hints{};
    hints.flags = PMinSize | PMaxSize | PBaseSize;
    hints.min_width = minimum.width;
    hints.min_height = minimum.height;
    hints.max_width = maximum.width;
    hints.max_height = maximum.height;
    hints.base_width = preferred.width;
    hints.base_height = preferred.height;
    XSetWMNormalHints(dpy(display), window, &hints);
    XFlush(dpy(display));
}
