#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <array>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

struct _XDisplay;
union _XEvent;
class XdndDrag;

/// The plug-in's own connection to the X server, beside the one JUCE keeps for its windows.
///
/// It owns selections and serves them (the CLIPBOARD after "Copy MIDI File", the XdndSelection
/// during a drag), runs the source side of a drag (XdndDrag) and sets window-manager hints on
/// windows JUCE made. Its events are read on the message thread whenever the connection's socket
/// is readable (JUCE's event loop watches it, in the app and in every host).
///
/// Message thread only. One per process, opened on first use and closed when JUCE shuts down
/// (DeletedAtShutdown): X selections belong to a client, not to a window, and the clipboard
/// has to outlive the cards and the window it was copied from.
class X11Connection final : private juce::DeletedAtShutdown, private juce::AsyncUpdater {
public:
    // The X protocol's 32-bit identifiers, as Xlib holds them (kept out of this header so that
    // Xlib's macros stay out of its includers).
    using XWindow = unsigned long;
    using XAtom = unsigned long;
    using XTime = unsigned long;
    using MessageData = std::array<long, 5>;

    /// The connection, or nullptr when no X display could be opened.
    static X11Connection* get();
    ~X11Connection() override;

    _XDisplay* display() const noexcept { return dpy; }
    XWindow root() const noexcept { return rootWindow; }
    /// An unmapped window of ours: it owns our selections and is a drag's source window.
    XWindow ownWindow() const noexcept { return window; }
    XAtom atom(const char* name) const;
    /// The first 32-bit item of a window's property, if it has one.
    std::optional<unsigned long> firstItem(XWindow w, const char* property) const;
    /// The server's time now (ICCCM: selections are never taken at CurrentTime).
    XTime serverTime();

    /// What a selection offers: each target's name and the bytes it converts to. TARGETS and
    /// TIMESTAMP are answered besides.
    using Offer = std::vector<std::pair<std::string, std::string>>;
    /// Takes `selection` at `time` and serves `offer` until another client takes it (then
    /// `lost` runs) or disown is called. False when the server did not give it to us.
    bool own(XAtom selection, Offer offer, XTime time, std::function<void()> lost = {});
    void disown(XAtom selection);
    bool owns(XAtom selection) const { return offers.count(selection) != 0; }

    /// Starts dragging `file` out as `uriList` (text/uri-list) from where the pointer is; the
    /// drag follows the pointer and ends by itself (see XdndDrag), deleting the file if it comes
    /// to nothing and `deleteUnlessDropped`. False when it could not start.
    bool startDrag(const juce::File& file, const std::string& uriList, bool deleteUnlessDropped);
    /// The drag in progress or last finished, if any.
    XdndDrag* drag() const noexcept { return currentDrag.get(); }
    /// Sends a client message of `type` about `about` to `destination` and flushes.
    void send(XWindow destination, XWindow about, XAtom type, const MessageData& data, long eventMask = 0);

    /// Makes `dialog` (a window JUCE made, not mapped yet) a dialog for the top-level window
    /// that holds `owner`: WM_TRANSIENT_FOR and _NET_WM_WINDOW_TYPE_DIALOG. Returns the frame
    /// the window manager will put around it, in pixels (none if it did not say within 250 ms).
    juce::BorderSize<int> makeDialogOf(XWindow dialog, XWindow owner);
    /// The top-level (managed) window that holds `w`: the outermost ancestor with WM_STATE,
    /// or the one just below the root when none has it.
    XWindow topLevelOf(XWindow w) const;

    /// Handles every event that has arrived (the event loop calls it when the socket is readable).
    void dispatchPending();

    JUCE_DECLARE_SINGLETON_SINGLETHREADED(X11Connection, false)

private:
    X11Connection();
    void handleAsyncUpdate() override { dispatchPending(); }
    void serve(const _XEvent& selectionRequest);

    struct Owned {
        Offer offer;
        XTime since = 0;
        std::function<void()> lost;
    };

    struct ErrorFilter;  // Xlib's error handler as it was before ours

    _XDisplay* dpy = nullptr;
    std::unique_ptr<ErrorFilter> errorFilter;
    XWindow rootWindow = 0;
    XWindow window = 0;
    std::map<XAtom, Owned> offers;
    std::unique_ptr<XdndDrag> currentDrag;
};
