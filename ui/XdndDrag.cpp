#include "XdndDrag.h"

#include <X11/Xlib.h>

#include <algorithm>

namespace {

constexpr long newestVersion = 5;         // the protocol version we speak; targets may speak 3 to 5
constexpr double statusWaitMs = 2000.0;   // for a target's answer to a position
constexpr double finishWaitMs = 30000.0;  // for a target to say it is done with a drop

double now() { return juce::Time::getMillisecondCounterHiRes(); }

}  // namespace

XdndDrag::XdndDrag(X11Connection& connection, juce::File file, XTime dragTime, bool deleteIt)
    : x(connection), offered(std::move(file)), time(dragTime), deleteUnlessDropped(deleteIt)
{
    // The pointer stays grabbed by the window the button was pressed in, which goes on
    // reporting moves; the keyboard is ours until the button is released, for Escape.
    XGrabKeyboard(x.display(), x.root(), False, GrabModeAsync, GrabModeAsync, time);
    startTimerHz(50);
}

XdndDrag::~XdndDrag() { cancel(); }

void XdndDrag::update()
{
    if (stage != Stage::moving)
        return;
    Window rootReturn = None, child = None;
    int rootX = 0, rootY = 0, windowX = 0, windowY = 0;
    unsigned int buttons = 0;
    if (XQueryPointer(x.display(), x.root(), &rootReturn, &child, &rootX, &rootY, &windowX, &windowY, &buttons) == 0)
        return cancel();  // the pointer went to another screen
    if (const juce::Point<int> position{rootX, rootY}; position != pointer || !pointerKnown) {
        pointerKnown = true;
        moveTo(position);
    }
    if ((buttons & (Button1Mask | Button2Mask | Button3Mask)) == 0) {
        stage = Stage::released;
        XUngrabKeyboard(x.display(), CurrentTime);
        deadline = now() + statusWaitMs;
        // The last position may still be unanswered: the drop waits for the answer.
        if (!awaitingStatus)
            dropOrLeave();
    }
    x.dispatchPending();  // what arrived with the pointer's reply
}

void XdndDrag::cancel()
{
    if (stage == Stage::over)
        return;
    if (stage == Stage::dropped)
        return finish(true);  // the target has the drop and may still be reading the file
    if (target.window != 0)
        message("XdndLeave", {});
    finish(false);
}

void XdndDrag::clientMessage(XAtom type, const X11Connection::MessageData& data)
{
    // Every answer names the target's window first.
    if (target.window == 0 || static_cast<XWindow>(data[0]) != target.window)
        return;
    if (type == x.atom("XdndStatus") && awaitingStatus) {
        awaitingStatus = false;
        accepted = (data[1] & 1) != 0;
        if (stage == Stage::released)
            dropOrLeave();
        else if (stage == Stage::moving && pointer != sentPosition)
            sendPosition(pointer);
    } else if (type == x.atom("XdndFinished") && stage == Stage::dropped) {
        // Before version 5 a target could not say that it failed.
        finish(target.version < 5 || (data[1] & 1) != 0);
    }
}

void XdndDrag::timerCallback()
{
    update();
    if (awaitingStatus && now() > deadline) {
        awaitingStatus = false;  // a target that does not answer does not accept
        accepted = false;
        if (stage == Stage::released)
            dropOrLeave();
    }
    if (stage == Stage::dropped && now() > deadline)
        finish(true);  // it never said it was done: it may still read the file
}

XdndDrag::Target XdndDrag::targetAt(juce::Point<int> position) const
{
    auto* const display = x.display();
    for (Window w = x.root();;) {
        Window child = None;
        int childX = 0, childY = 0;
        if (XTranslateCoordinates(display, x.root(), w, position.x, position.y, &childX, &childY, &child) == 0
            || child == None)
            return {};
        w = child;
        // This process's own windows would take anything; a drop there is no drop.
        for (int i = 0; i < juce::ComponentPeer::getNumPeers(); ++i)
            if (reinterpret_cast<XWindow>(juce::ComponentPeer::getPeer(i)->getNativeHandle()) == w)
                return {};
        if (const auto version = x.firstItem(w, "XdndAware")) {
            if (*version < 3)
                return {};
            Target found{w, w, std::min(static_cast<long>(*version), newestVersion)};
            // A proxy counts only if it names itself as its own proxy.
            if (const auto proxy = x.firstItem(w, "XdndProxy"); proxy && x.firstItem(*proxy, "XdndProxy") == proxy)
                found.inbox = *proxy;
            return found;
        }
    }
}

void XdndDrag::moveTo(juce::Point<int> position)
{
    pointer = position;
    const auto under = targetAt(position);
    if (!(under == target)) {
        if (target.window != 0)
            message("XdndLeave", {});
        target = under;
        awaitingStatus = accepted = false;
        if (target.window == 0)
            return;
        // Three types or fewer go in the message itself: ours is the one text/uri-list.
        message("XdndEnter", {0, target.version << 24, static_cast<long>(x.atom("text/uri-list")), 0, 0});
        sentPosition = {-1, -1};
    }
    if (target.window != 0 && !awaitingStatus && position != sentPosition)
        sendPosition(position);
}

void XdndDrag::sendPosition(juce::Point<int> position)
{
    sentPosition = position;
    awaitingStatus = true;
    deadline = now() + statusWaitMs;
    message("XdndPosition",
            {0, 0, (static_cast<long>(position.x) << 16) | (position.y & 0xffff), static_cast<long>(time),
             static_cast<long>(x.atom("XdndActionCopy"))});
}

void XdndDrag::dropOrLeave()
{
    if (target.window != 0 && accepted) {
        message("XdndDrop", {0, 0, static_cast<long>(time), 0, 0});
        stage = Stage::dropped;
        deadline = now() + finishWaitMs;
        return;
    }
    if (target.window != 0)
        message("XdndLeave", {});
    finish(false);
}

void XdndDrag::message(const char* type, X11Connection::MessageData data)
{
    data[0] = static_cast<long>(x.ownWindow());
    x.send(target.inbox, target.window, x.atom(type), data);
}

void XdndDrag::finish(bool dropped)
{
    stage = Stage::over;
    stopTimer();
    XUngrabKeyboard(x.display(), CurrentTime);
    x.disown(x.atom("XdndSelection"));
    if (!dropped && deleteUnlessDropped)
        offered.deleteFile();
}
