#include "EmbeddedXWindow.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <stdexcept>

namespace {
Display* dpy(void* d) { return static_cast<Display*>(d); }

EmbeddedXWindow::Size geometry(Display* display, ::Window w)
{
    ::Window root = None;
    int x = 0, y = 0;
    unsigned width = 0, height = 0, border = 0, depth = 0;
    if (XGetGeometry(display, w, &root, &x, &y, &width, &height, &border, &depth) == 0)
        return {};
    return {static_cast<int>(width), static_cast<int>(height)};
}

/// `w`'s parent, or None at the root.
::Window parentOf(Display* display, ::Window w)
{
    ::Window root = None, up = None, *children = nullptr;
    unsigned count = 0;
    if (XQueryTree(display, w, &root, &up, &children, &count) == 0)
        return None;
    if (children != nullptr)
        XFree(children);
    return up == root ? None : up;
}

bool managed(Display* display, ::Window w)
{
    Atom type = None;
    int format = 0;
    unsigned long items = 0, after = 0;
    unsigned char* data = nullptr;
    XGetWindowProperty(display, w, XInternAtom(display, "WM_STATE", False), 0, 0, False, AnyPropertyType, &type,
                       &format, &items, &after, &data);
    if (data != nullptr)
        XFree(data);
    return type != None;
}
}  // namespace

EmbeddedXWindow::EmbeddedXWindow(std::uintptr_t parentWindow, Size initial, std::uint32_t backgroundRgb)
    : parent(parentWindow), size(initial)
{
    display = XOpenDisplay(nullptr);
    if (display == nullptr)
        throw std::runtime_error("cannot open the X display");
    XSetWindowAttributes attributes{};
    attributes.background_pixel = backgroundRgb;  // TrueColor visuals take the pixel as RGB
    attributes.event_mask = StructureNotifyMask;
    window = XCreateWindow(dpy(display), static_cast<::Window>(parentWindow), 0, 0,
                           static_cast<unsigned>(initial.width), static_cast<unsigned>(initial.height), 0,
                           CopyFromParent, InputOutput, nullptr, CWBackPixel | CWEventMask, &attributes);
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

int EmbeddedXWindow::connectionNumber() const noexcept { return ConnectionNumber(dpy(display)); }

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

EmbeddedXWindow::Size EmbeddedXWindow::parentSize() const { return geometry(dpy(display), parent); }

bool EmbeddedXWindow::buttonHeld() const
{
    ::Window root = None, child = None;
    int rootX = 0, rootY = 0, x = 0, y = 0;
    unsigned mask = 0;
    XQueryPointer(dpy(display), DefaultRootWindow(dpy(display)), &root, &child, &rootX, &rootY, &x, &y, &mask);
    return (mask & (Button1Mask | Button2Mask | Button3Mask)) != 0;
}

void EmbeddedXWindow::resizeHostWindowToHold(Size wanted)
{
    // The host's window: the nearest one a window manager manages, or without one the outermost.
    ::Window top = parent;
    while (!managed(dpy(display), top))
        if (const ::Window up = parentOf(dpy(display), top); up != None)
            top = up;
        else
            break;
    // Only a window that holds little besides ours (a plug-in window with a toolbar): a host's
    // main window with the plug-in docked in it keeps its size.
    const Size now = parentSize(), outer = geometry(dpy(display), top);
    if (now.width <= 0 || now.height <= 0 || outer.width > 2 * now.width || outer.height > 2 * now.height)
        return;
    XResizeWindow(dpy(display), top, static_cast<unsigned>(std::max(1, outer.width + wanted.width - now.width)),
                  static_cast<unsigned>(std::max(1, outer.height + wanted.height - now.height)));
    XFlush(dpy(display));
}
