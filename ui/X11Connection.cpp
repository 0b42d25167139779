#include "X11Connection.h"

#include "XdndDrag.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <poll.h>

JUCE_IMPLEMENT_SINGLETON(X11Connection)

namespace {

/// A PropertyNotify awaited: which window's property.
struct PropertyWanted {
    Window window;
    Atom property;
};

Bool isPropertyNotify(Display*, XEvent* e, XPointer arg)
{
    const auto* w = reinterpret_cast<const PropertyWanted*>(arg);
    return e->type == PropertyNotify && e->xproperty.window == w->window && e->xproperty.atom == w->property;
}

}  // namespace

// Windows of other clients can go at any moment (a target, a requestor, a proxy), and Xlib's
// default handler ends the process on the error that follows: errors on our connection are
// ignored (each call that can fail is checked where it matters), others go where they went.
struct X11Connection::ErrorFilter {
    XErrorHandler previous = nullptr;

    static int handle(Display* display, XErrorEvent* error)
    {
        const auto* connection = getInstanceWithoutCreating();
        if (connection == nullptr || display == connection->dpy)
            return 0;
        const auto previous = connection->errorFilter->previous;
        return previous != nullptr ? previous(display, error) : 0;
    }
};

X11Connection* X11Connection::get()
{
    auto* connection = getInstance();
    return connection->dpy != nullptr ? connection : nullptr;
}

X11Connection::X11Connection()
{
    dpy = XOpenDisplay(nullptr);
    if (dpy == nullptr)
        return;
    errorFilter = std::make_unique<ErrorFilter>();
    errorFilter->previous = XSetErrorHandler(ErrorFilter::handle);
    rootWindow = DefaultRootWindow(dpy);
    XSetWindowAttributes attributes{};
    attributes.event_mask = PropertyChangeMask;
    Visual* const parentsVisual = nullptr;
    window = XCreateWindow(dpy, rootWindow, -10, -10, 1, 1, 0, CopyFromParent, InputOnly, parentsVisual, CWEventMask,
                           &attributes);
    XStoreName(dpy, window, "MIDI Sondrel transfers");
    juce::LinuxEventLoop::registerFdCallback(ConnectionNumber(dpy), [this](int) { dispatchPending(); });
    XFlush(dpy);
}

X11Connection::~X11Connection()
{
    if (dpy != nullptr) {
        currentDrag.reset();  // cancels a drag still going on
        juce::LinuxEventLoop::unregisterFdCallback(ConnectionNumber(dpy));
        XDestroyWindow(dpy, window);
        XCloseDisplay(dpy);
        // Back to the handler from before, unless someone installed one of their own since.
        if (const auto current = XSetErrorHandler(errorFilter->previous); current != ErrorFilter::handle)
            XSetErrorHandler(current);
    }
    clearSingletonInstance();
}

X11Connection::XAtom X11Connection::atom(const char* name) const { return XInternAtom(dpy, name, False); }

std::optional<unsigned long> X11Connection::firstItem(XWindow w, const char* property) const
{
    Atom type = None;
    int format = 0;
    unsigned long count = 0, left = 0;
    unsigned char* data = nullptr;
    std::optional<unsigned long> item;
    if (XGetWindowProperty(dpy, w, atom(property), 0, 1, False, AnyPropertyType, &type, &format, &count, &left, &data)
        == Success) {
        if (format == 32 && count >= 1)
            item = *reinterpret_cast<const unsigned long*>(data);  // Xlib hands 32-bit items as longs
        if (data != nullptr)
            XFree(data);
    }
    return item;
}

X11Connection::XTime X11Connection::serverTime()
{
    // A zero-length append changes nothing but is answered with a PropertyNotify that carries
    // the server's time.
    const auto probe = atom("_SONDREL_TIME");
    XChangeProperty(dpy, window, probe, XA_INTEGER, 32, PropModeAppend, nullptr, 0);
    PropertyWanted wanted{window, probe};
    XEvent event;
    XIfEvent(dpy, &event, isPropertyNotify, reinterpret_cast<XPointer>(&wanted));
    triggerAsyncUpdate();  // events queued while waiting
    return event.xproperty.time;
}

bool X11Connection::own(XAtom selection, Offer offer, XTime time, std::function<void()> lost)
{
    XSetSelectionOwner(dpy, selection, window, time);
    if (XGetSelectionOwner(dpy, selection) != window) {
        offers.erase(selection);
        return false;
    }
    offers[selection] = Owned{std::move(offer), time, std::move(lost)};
    return true;
}

void X11Connection::disown(XAtom selection)
{
    if (offers.erase(selection) != 0 && XGetSelectionOwner(dpy, selection) == window) {
        XSetSelectionOwner(dpy, selection, None, serverTime());
        XFlush(dpy);
    }
}

bool X11Connection::startDrag(const juce::File& file, const std::string& uriList, bool deleteUnlessDropped)
{
    currentDrag.reset();  // one drag at a time: an unfinished one is cancelled
    const auto time = serverTime();
    if (!own(atom("XdndSelection"), {{"text/uri-list", uriList}}, time))
        return false;
    currentDrag = std::make_unique<XdndDrag>(*this, file, time, deleteUnlessDropped);
    currentDrag->update();
    return true;
}

void X11Connection::send(XWindow destination, XWindow about, XAtom type, const MessageData& data, long eventMask)
{
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = about;
    event.xclient.message_type = type;
    event.xclient.format = 32;
    std::copy(data.begin(), data.end(), event.xclient.data.l);
    XSendEvent(dpy, destination, False, eventMask, &event);
    XFlush(dpy);
}

juce::BorderSize<int> X11Connection::makeDialogOf(XWindow dialog, XWindow owner)
{
    XSetTransientForHint(dpy, dialog, topLevelOf(owner));
    const Atom type = atom("_NET_WM_WINDOW_TYPE_DIALOG");
    XChangeProperty(dpy, dialog, atom("_NET_WM_WINDOW_TYPE"), XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&type), 1);

    // The frame the window manager will give it (EWMH: asked before mapping, answered by
    // setting _NET_FRAME_EXTENTS), so that the frame can be centred, not just the window.
    const auto extents = atom("_NET_FRAME_EXTENTS");
    XSelectInput(dpy, dialog, PropertyChangeMask);
    send(rootWindow, dialog, atom("_NET_REQUEST_FRAME_EXTENTS"), {}, SubstructureRedirectMask | SubstructureNotifyMask);
    juce::BorderSize<int> frame;
    const auto deadline = juce::Time::getMillisecondCounter() + 250;
    PropertyWanted wanted{dialog, extents};
    for (XEvent event; juce::Time::getMillisecondCounter() < deadline;) {
        if (XCheckIfEvent(dpy, &event, isPropertyNotify, reinterpret_cast<XPointer>(&wanted)) == 0) {
            pollfd socket{ConnectionNumber(dpy), POLLIN, 0};
            poll(&socket, 1, static_cast<int>(deadline - juce::Time::getMillisecondCounter()));
            continue;
        }
        Atom actual = None;
        int format = 0;
        unsigned long count = 0, left = 0;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(dpy, dialog, extents, 0, 4, False, XA_CARDINAL, &actual, &format, &count, &left, &data)
                == Success
            && format == 32 && count == 4) {
            const auto* sides = reinterpret_cast<const long*>(data);  // left, right, top, bottom
            frame = {static_cast<int>(sides[2]), static_cast<int>(sides[0]), static_cast<int>(sides[3]),
                     static_cast<int>(sides[1])};
        }
        if (data != nullptr)
            XFree(data);
        break;
    }
    XSelectInput(dpy, dialog, NoEventMask);
    XSync(dpy, False);  // all of it before JUCE maps the window through its own connection
    triggerAsyncUpdate();
    return frame;
}

X11Connection::XWindow X11Connection::topLevelOf(XWindow w) const
{
    Window managed = None, belowRoot = w;
    for (Window current = w; current != None && current != rootWindow;) {
        belowRoot = current;
        if (firstItem(current, "WM_STATE"))
            managed = current;
        Window rootReturn = None, parent = None, *children = nullptr;
        unsigned int count = 0;
        if (XQueryTree(dpy, current, &rootReturn, &parent, &children, &count) == 0)
            break;
        if (children != nullptr)
            XFree(children);
        current = parent;
    }
    return managed != None ? managed : belowRoot;
}

void X11Connection::dispatchPending()
{
    while (dpy != nullptr && XPending(dpy) > 0) {
        XEvent event;
        XNextEvent(dpy, &event);
        switch (event.type) {
        case SelectionRequest: serve(event); break;
        case SelectionClear:
            if (const auto it = offers.find(event.xselectionclear.selection); it != offers.end()) {
                // Another client took it: let go of what we offered.
                const auto lost = std::move(it->second.lost);
                offers.erase(it);
                if (lost)
                    lost();
            }
            break;
        case ClientMessage:
            if (currentDrag != nullptr && event.xclient.format == 32) {
                MessageData data;
                std::copy(event.xclient.data.l, event.xclient.data.l + 5, data.begin());
                currentDrag->clientMessage(event.xclient.message_type, data);
            }
            break;
        case KeyPress:
            if (currentDrag != nullptr && XLookupKeysym(&event.xkey, 0) == XK_Escape)
                currentDrag->cancel();
            break;
        default: break;
        }
    }
}

void X11Connection::serve(const XEvent& event)
{
    const auto& request = event.xselectionrequest;
    XEvent reply{};
    reply.xselection.type = SelectionNotify;
    reply.xselection.requestor = request.requestor;
    reply.xselection.selection = request.selection;
    reply.xselection.target = request.target;
    reply.xselection.time = request.time;
    reply.xselection.property = None;  // refused, unless answered below
    // Obsolete requestors name no property: the target's name is used then (ICCCM).
    const Atom property = request.property != None ? request.property : request.target;

    const auto owned = offers.find(request.selection);
    // A request from before we took the selection is not ours to answer.
    if (owned != offers.end() && (request.time == CurrentTime || request.time >= owned->second.since)) {
        const auto& offer = owned->second.offer;
        const auto answer = [&](Atom type, int format, const void* data, std::size_t count) {
            XChangeProperty(dpy, request.requestor, property, type, format, PropModeReplace,
                            static_cast<const unsigned char*>(data), static_cast<int>(count));
            reply.xselection.property = property;
        };
        if (request.target == atom("TARGETS")) {
            std::vector<Atom> targets{atom("TARGETS"), atom("TIMESTAMP")};
            for (const auto& entry : offer)
                targets.push_back(atom(entry.first.c_str()));
            answer(XA_ATOM, 32, targets.data(), targets.size());
        } else if (request.target == atom("TIMESTAMP")) {
            const long stamp = static_cast<long>(owned->second.since);
            answer(XA_INTEGER, 32, &stamp, 1);
        } else {
            // What we offer is a few hundred bytes, well within one request: no INCR transfers.
            const auto limit = static_cast<std::size_t>(XMaxRequestSize(dpy) - 32) * 4;
            for (const auto& [name, bytes] : offer)
                if (request.target == atom(name.c_str()) && bytes.size() < limit)
                    answer(request.target, 8, bytes.data(), bytes.size());
        }
    }
    XSendEvent(dpy, request.requestor, False, NoEventMask, &reply);
    XFlush(dpy);
}
