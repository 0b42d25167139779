#pragma once

#include <cstdint>
#include <optional>
#include <utility>

/// A plain X window of our own inside a host's window, on a connection of our own: the window an
/// LV2 host embeds, with size hints that say what we mean (a toolkit's own window would have its
/// hints rewritten by the toolkit whenever it sets its bounds).
///
/// One thread only (the plug-in's message thread), which reads the connection when it becomes
/// readable (connectionNumber) and calls takeNewSize.
class EmbeddedXWindow {
public:
    struct Size {
        int width = 0;
        int height = 0;
        friend bool operator==(const Size&, const Size&) = default;
    };

    /// Opens the display and maps a `size` window inside `parent`. Throws when it cannot.
    EmbeddedXWindow(std::uintptr_t parent, Size size, std::uint32_t backgroundRgb);
    ~EmbeddedXWindow();
    EmbeddedXWindow(const EmbeddedXWindow&) = delete;
    EmbeddedXWindow& operator=(const EmbeddedXWindow&) = delete;

    std::uintptr_t id() const noexcept { return window; }
    /// The connection's file descriptor, to watch for readability.
    int connectionNumber() const noexcept;

    /// Reads every event waiting; the window's size if someone (the host) changed it.
    std::optional<Size> takeNewSize();
    void resize(Size size);
    /// The size hints the host reads: the smallest, largest and preferred ("base") size.
    void setSizeHints(Size minimum, Size maximum, Size preferred);

    /// The size of the host's window we live in.
    Size parentSize() const;
    /// Whether a mouse button is down (the user may be dragging a window's frame).
    bool buttonHeld() const;
    /// Resizes the host's top-level window (through the window manager, as a drag of its frame
    /// would) by what the window we live in lacks of `wanted`, unless that window holds much more
    /// than ours.
    void resizeHostWindowToHold(Size wanted);

private:
    void* display = nullptr;  ///< the connection (Display*)
    std::uintptr_t parent = 0;
    std::uintptr_t window = 0;
    Size size;
};
