#pragma once

#include <lv2/ui/ui.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <utility>

class Lv2Plugin;

/// The plug-in's window in an LV2 host (ui:X11UI): an X window of its own inside the host's
/// parent window, holding the audio unit's editor (reached through instance-access).
///
/// Size: the editor keeps its 640:474 proportions and its limits. Whatever size the host gives
/// the window (by resizing it, or through our ui:resize), the editor takes the largest size of
/// those proportions that fits, and the host is asked for exactly that size (once the mouse
/// button is released, if the user is dragging the window's frame); a change of the editor's own
/// size (the zoom) is asked for too. The window's size hints say the editor's minimum, so a host
/// that reads them (suil) lets the window shrink again after it grew. A host whose window does
/// not take a size asked for (suil's GTK embeddings, as in Ardour 7 and jalv) has it resized by
/// its frame, through the window manager, as the user would.
///
/// Page: a page chosen in the window is written to the host's control port; when the window
/// opens it tells the host the page shown.
///
/// Threads: the constructor, destructor, portEvent, idle and resizeTo run on the host's UI thread
/// and reach the host only from there; the X window, the editor and the size decisions live on
/// the plug-in's message thread.
class Lv2Ui final {
public:
    Lv2Ui(Lv2Plugin& plugin, std::uintptr_t parentWindow, const LV2UI_Resize* hostResize, LV2UI_Write_Function write,
          LV2UI_Controller controller);
    ~Lv2Ui();
    Lv2Ui(const Lv2Ui&) = delete;
    Lv2Ui& operator=(const Lv2Ui&) = delete;

    /// The X window the host embeds.
    std::uintptr_t window() const noexcept { return xWindow; }

    /// Host UI thread. A port's value as the host has it.
    void portEvent(std::uint32_t port, std::uint32_t size, std::uint32_t format, const void* buffer);
    /// Host UI thread. Hands the host what the window asked for since the last call.
    int idle();
    /// Host UI thread. The host has made the window `width` x `height`.
    int resizeTo(int width, int height);

private:
    class Content;
    static constexpr float noPage = -1.0f;

    Lv2Plugin& plugin;
    const LV2UI_Resize* hostResize;
    const LV2UI_Write_Function write;
    const LV2UI_Controller controller;
    std::unique_ptr<Content> content;  ///< message thread
    std::uintptr_t xWindow = 0;

    // From the message thread to the host's UI thread.
    std::atomic<float> pageToWrite{noPage};
    std::atomic<std::uint64_t> sizeToAsk{0};  ///< width << 32 | height, 0 for none
    float hostPage = noPage;                  ///< host UI thread: the port's value as last seen
};
