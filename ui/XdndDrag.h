#pragma once

#include "X11Connection.h"

#include <juce_gui_basics/juce_gui_basics.h>

/// The source side of one drag of a file out of the plug-in, by the XDND protocol (versions 3
/// to 5): the file is offered once, as text/uri-list, through the XdndSelection of our own
/// connection.
///
/// The drag follows the pointer on its own (a 50 Hz poll, and whenever the window reports a
/// move), so it goes on when the card it started from is replaced. It finds the XDND-aware
/// window under the pointer (never one of this process's JUCE windows, which would take any
/// file), tells it where the pointer is and lets go over it when the button is released: the
/// drop is sent when the target said it accepts, otherwise the drag ends there. Escape cancels.
///
/// The file is the drop's: it stays when the target took it (it may read it later), and is
/// deleted when the drag was cancelled, ended over nothing or was refused (unless it was there
/// before the drag, offered by an earlier one).
///
/// Message thread; owned by X11Connection.
class XdndDrag final : private juce::Timer {
public:
    using XWindow = X11Connection::XWindow;
    using XAtom = X11Connection::XAtom;
    using XTime = X11Connection::XTime;

    /// Starts the drag: `time` is when the connection took the XdndSelection for it.
    XdndDrag(X11Connection& connection, juce::File file, XTime time, bool deleteUnlessDropped);
    /// A drag still going on is cancelled.
    ~XdndDrag() override;

    /// Reads the pointer: a move goes to the target, a released button ends the drag.
    void update();
    /// Ends the drag without a drop (Escape).
    void cancel();
    /// XdndStatus and XdndFinished from a target.
    void clientMessage(XAtom type, const X11Connection::MessageData& data);

private:
    enum class Stage { moving, released, dropped, over };
    struct Target {
        XWindow window = 0;  // the XDND-aware window under the pointer
        XWindow inbox = 0;   // where messages go: the window itself or its proxy
        long version = 0;
        bool operator==(const Target& other) const { return window == other.window; }
    };

    void timerCallback() override;
    Target targetAt(juce::Point<int> rootPosition) const;
    void moveTo(juce::Point<int> rootPosition);
    void sendPosition(juce::Point<int> rootPosition);
    void dropOrLeave();
    void message(const char* type, X11Connection::MessageData data);
    void finish(bool dropped);

    X11Connection& x;
    const juce::File offered;
    const XTime time;
    const bool deleteUnlessDropped;
    Stage stage = Stage::moving;
    Target target;
    bool awaitingStatus = false;
    bool accepted = false;
    bool pointerKnown = false;
    juce::Point<int> sentPosition, pointer;
    double deadline = 0.0;  // for the status or the finish awaited, in ms
};
