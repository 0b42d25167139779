#include "Lv2Ui.h"

#include "EmbeddedXWindow.h"
#include "Lv2Plugin.h"
#include "MainView.h"
#include "MidiSondrelPlugin.h"

#include <juce_audio_processors/juce_audio_processors.h>

#include <cmath>
#include <optional>

namespace {

using Size = EmbeddedXWindow::Size;

constexpr Size designSize{MainView::designWidth, MainView::designHeight};
constexpr Size smallest{MainView::designWidth / 2, MainView::designHeight / 2};
constexpr Size largest{MainView::designWidth * 4, MainView::designHeight * 4};
constexpr std::uint32_t backgroundRgb = 0x1b1f27;
/// How long a host has to give the size asked for before its window is resized by its frame.
constexpr int hostFollowMs = 300;
/// How often a released mouse button is looked for after the user resized the host's window.
constexpr int releasePollMs = 100;

/// The size of the editor's proportions with `area`'s width (or height), within its limits.
Size proportional(Size area, bool byWidth)
{
    Size s = byWidth
        ? Size{area.width, static_cast<int>(std::lround(double(area.width) * designSize.height / designSize.width))}
        : Size{static_cast<int>(std::lround(double(area.height) * designSize.width / designSize.height)), area.height};
    if (s.width < smallest.width)
        s = smallest;
    if (s.width > largest.width)
        s = largest;
    return s;
}

bool widerThanDesign(Size area)
{
    return static_cast<long>(area.width) * designSize.height > static_cast<long>(area.height) * designSize.width;
}

/// The largest size of the editor's proportions within `area`.
Size fitInside(Size area) { return proportional(area, !widerThanDesign(area)); }

/// The smallest size of the editor's proportions that covers `area`.
Size cover(Size area) { return proportional(area, widerThanDesign(area)); }

std::uint64_t packed(Size s)
{
    return static_cast<std::uint64_t>(static_cast<std::uint32_t>(s.width)) << 32 | static_cast<std::uint32_t>(s.height);
}

}  // namespace

/// The window on the message thread: our X window, the editor inside it, and what it asks of
/// the host (through the owner's atomics, which the host's UI thread hands on).
class Lv2Ui::Content final : private juce::AudioProcessorListener, private juce::ComponentListener {
public:
    Content(Lv2Ui& ui, std::uintptr_t parent) : owner(ui)
    {
        auto& unit = owner.plugin.audioUnit();
        editor.reset(unit.createEditorIfNeeded());
        const auto [w, h] = owner.plugin.windowSize();
        const Size initial = w > 0 ? Size{w, h} : Size{editor->getWidth(), editor->getHeight()};
        xWindow = std::make_unique<EmbeddedXWindow>(parent, initial, backgroundRgb);
        setHints(smallest, initial);
        holder.addAndMakeVisible(*editor);
        holder.addToDesktop(0, reinterpret_cast<void*>(xWindow->id()));
        holder.setVisible(true);
        layOut(initial);
        editor->addComponentListener(this);
        juce::LinuxEventLoop::registerFdCallback(xWindow->connectionNumber(), [this](int) { readWindowEvents(); });
        unit.addListener(this);
        pageIndex = owner.plugin.pageParameterIndex();
        owner.pageToWrite.store(owner.plugin.page());  // the host learns the page shown
        readEventsSoon();
    }

    ~Content() override
    {
        owner.plugin.audioUnit().removeListener(this);
        juce::LinuxEventLoop::unregisterFdCallback(xWindow->connectionNumber());
        editor->removeComponentListener(this);
        holder.removeFromDesktop();
        editor.reset();
    }

    std::uintptr_t id() const noexcept { return xWindow->id(); }

    /// The host gave the window this size. The editor fits into it at once; unless it fits
    /// exactly, the host is asked for the size of the editor's proportions that covers it where
    /// it grew (the user pulled the window wider or taller), or that fits into it where it shrank.
    /// While a mouse button is held the user may still be dragging the window's frame: the host
    /// is asked once it is released.
    void hostResized(Size area)
    {
        const bool grew = area.width > shown.width || area.height > shown.height;
        const Size fit = fitInside(area);
        layOut(fit);
        const Size wanted = grew ? cover(area) : fit;
        if (xWindow->buttonHeld())
            askOnRelease(++asks, fit == area ? std::optional<Size>() : wanted);
        else if (!(fit == area) && !(wanted == lastAsked))
            ask(wanted);
    }

    void resizeWindow(Size s)
    {
        xWindow->resize(s);
        readEventsSoon();
    }

private:
    void readWindowEvents()
    {
        if (const auto size = xWindow->takeNewSize())
            hostResized(*size);
    }

    /// Xlib may read events into its queue while it talks to the server, and the connection's
    /// readability then no longer shows them: after each of our requests they are read on the
    /// message loop's next turn.
    void readEventsSoon()
    {
        juce::MessageManager::callAsync([safe = juce::Component::SafePointer<juce::Component>(&holder), this] {
            if (safe != nullptr)
                readWindowEvents();
        });
    }

    void setHints(Size minimum, Size preferred)
    {
        xWindow->setSizeHints(minimum, largest, preferred);
        readEventsSoon();
    }

    /// The editor at `fit`, at the window's top left.
    void layOut(Size fit)
    {
        const juce::ScopedValueSetter<bool> ours(layingOut, true);
        shown = fit;
        holder.setBounds(0, 0, fit.width, fit.height);
        editor->setBounds(0, 0, fit.width, fit.height);
        owner.plugin.rememberWindowSize(fit.width, fit.height);
    }

    /// Asks the host for `s` (ui:resize, and `s` as the preferred size in the hints).
    void ask(Size s)
    {
        lastAsked = s;
        setHints(smallest, s);
        owner.sizeToAsk.store(packed(s));
        followUp(++asks);
    }

    /// Many hosts never give a size asked for once their window is shown (suil's GTK embeddings
    /// take it as a natural size, which a shown window does not grow to). If the host's window
    /// does not hold the size asked for by `request`'s turn to look, it is resized by its frame, as
    /// the user would; not while a button is held, and not once a newer size was asked for or
    /// the user resized it.
    void followUp(unsigned request)
    {
        afterDelay(hostFollowMs, [this, request] {
            if (request != asks)
                return;
            if (xWindow->buttonHeld())
                followUp(request);
            else if (!(xWindow->parentSize() == lastAsked))
                xWindow->resizeHostWindowToHold(lastAsked);
        });
    }

    /// Asks for `wanted` (if anything) once no button is held, unless the host resized the
    /// window again meanwhile.
    void askOnRelease(unsigned resize, std::optional<Size> wanted)
    {
        afterDelay(releasePollMs, [this, resize, wanted] {
            if (resize != asks)
                return;
            if (xWindow->buttonHeld())
                askOnRelease(resize, wanted);
            else if (wanted)
                ask(*wanted);
        });
    }

    template <typename F>
    void afterDelay(int ms, F f)
    {
        juce::Timer::callAfterDelay(ms, [safe = juce::Component::SafePointer<juce::Component>(&holder), f] {
            if (safe != nullptr)
                f();
        });
    }

    // The editor changed its own size (not through layOut): the window follows and the host is asked.
    void componentMovedOrResized(juce::Component&, bool, bool wasResized) override
    {
        if (!wasResized || layingOut)
            return;
        const Size s = fitInside({editor->getWidth(), editor->getHeight()});
        layOut(s);
        resizeWindow(s);
        ask(s);
    }

    // A page chosen in the window (or anywhere): the host's port follows.
    void audioProcessorParameterChanged(juce::AudioProcessor*, int index, float) override
    {
        if (index == pageIndex)
            owner.pageToWrite.store(owner.plugin.page());
    }
    void audioProcessorChanged(juce::AudioProcessor*, const ChangeDetails&) override {}

    Lv2Ui& owner;
    std::unique_ptr<juce::AudioProcessorEditor> editor;
    std::unique_ptr<EmbeddedXWindow> xWindow;
    juce::Component holder;
    int pageIndex = -1;
    bool layingOut = false;
    Size shown;  ///< the editor's size
    Size lastAsked;
    unsigned asks = 0;  ///< sizes asked for and the user's resizes, so that what waits for a turn knows it is stale
};

Lv2Ui::Lv2Ui(Lv2Plugin& p, std::uintptr_t parentWindow, const LV2UI_Resize* resize, LV2UI_Write_Function writeFunction,
             LV2UI_Controller hostController)
    : plugin(p), hostResize(resize), write(writeFunction), controller(hostController)
{
    Size initial;
    plugin.call([&] {
        content = std::make_unique<Content>(*this, parentWindow);
        xWindow = content->id();
        const auto [w, h] = plugin.windowSize();
        initial = {w, h};
    });
    if (hostResize != nullptr)
        hostResize->ui_resize(hostResize->handle, initial.width, initial.height);
}

Lv2Ui::~Lv2Ui()
{
    plugin.call([this] { content.reset(); });
}

void Lv2Ui::portEvent(std::uint32_t port, std::uint32_t size, std::uint32_t format, const void* buffer)
{
    if (port == Lv2Plugin::pagePort && format == 0 && size == sizeof(float))
        hostPage = *static_cast<const float*>(buffer);
}

int Lv2Ui::idle()
{
    if (const std::uint64_t s = sizeToAsk.exchange(0); s != 0 && hostResize != nullptr)
        hostResize->ui_resize(hostResize->handle, static_cast<int>(s >> 32), static_cast<int>(s & 0xFFFFFFFFu));
    if (const float page = pageToWrite.exchange(noPage); page != noPage && page != hostPage) {
        hostPage = page;
        write(controller, Lv2Plugin::pagePort, sizeof(float), 0, &page);
    }
    return 0;
}

int Lv2Ui::resizeTo(int width, int height)
{
    if (width <= 0 || height <= 0)
        return 1;
    plugin.call([&] { content->resizeWindow({width, height}); });
    return 0;
}
