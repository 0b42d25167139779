// The standalone app "MIDI Sondrel": the plug-in's window under a transport bar, hosted by the
// app itself. Usage: midi-sondrel [--demo] [file.mid]. --demo starts the demo playing in a
// loop; a MIDI file plays at once. For tests: --screenshot PATH saves the window as a PNG once
// recordings exist and quits; --quit-after-seconds N quits after N seconds.

#include "DemoPerformance.h"
#include "LiveHost.h"
#include "MainComponent.h"
#include "MainView.h"
#include "MidiSondrelPlugin.h"
#include "Settings.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <iostream>

namespace {

/// What the command line asks for.
struct LaunchOptions {
    bool demo = false;
    juce::File midiFile;
    juce::File screenshot;
    double quitAfterSeconds = 0.0;

    static LaunchOptions parse(const juce::StringArray& args)
    {
        LaunchOptions o;
        for (int i = 0; i < args.size(); ++i) {
            if (args[i] == "--demo")
                o.demo = true;
            else if (args[i] == "--screenshot" && i + 1 < args.size())
                o.screenshot = juce::File::getCurrentWorkingDirectory().getChildFile(args[++i].unquoted());
            else if (args[i] == "--quit-after-seconds" && i + 1 < args.size())
                o.quitAfterSeconds = args[++i].getDoubleValue();
            else if (!args[i].startsWith("-"))
                o.midiFile = juce::File::getCurrentWorkingDirectory().getChildFile(args[i].unquoted());
        }
        return o;
    }
};

class MainWindow final : public juce::DocumentWindow {
public:
    explicit MainWindow(LiveHost& host)
        : juce::DocumentWindow(
            "MIDI Sondrel",
            juce::Desktop::getInstance().getDefaultLookAndFeel().findColour(juce::ResizableWindow::backgroundColourId),
            juce::DocumentWindow::minimiseButton | juce::DocumentWindow::closeButton)
    {
        setUsingNativeTitleBar(true);
        content = new MainComponent(host);
        setContentOwned(content, true);
        // Resized by its frame: the plug-in's window scales with it.
        setResizable(true, false);
        const auto actual = MainComponent::actualSize();
        setResizeLimits(MainComponent::minimumWidth, TransportBar::preferredHeight + MainView::designHeight / 2,
                        actual.getWidth() * 4, TransportBar::preferredHeight + MainView::designHeight * 4);
        centreWithSize(getWidth(), getHeight());
        setVisible(true);
        content->grabKeyboardFocus();
    }

    MainComponent& contents() { return *content; }

    /// Keys that reach the window itself (nothing inside has the focus) go to its contents.
    bool keyPressed(const juce::KeyPress& key) override { return content->keyPressed(key); }

    void closeButtonPressed() override { juce::JUCEApplication::getInstance()->systemRequestedQuit(); }

private:
    MainComponent* content = nullptr;  // owned by the window
};

}  // namespace

class SondrelApp final : public juce::JUCEApplication, private juce::Timer {
public:
    const juce::String getApplicationName() override { return "MIDI Sondrel"; }
    const juce::String getApplicationVersion() override { return WICKERLAMP_PLUGIN_VERSION; }
    bool moreThanOneInstanceAllowed() override { return true; }

    void initialise(const juce::String&) override
    {
        options = LaunchOptions::parse(getCommandLineParameterArray());
        host = std::make_unique<LiveHost>();
        host->setTempo(DemoPerformance::suggestedTempo);
        host->setLoopBars(DemoPerformance::suggestedLoopBars);
        if (options.demo) {
            host->setDemoPlaying(true);
            host->setLooping(true);
            host->setPlaying(true);
        }
        if (options.midiFile != juce::File()) {
            if (const auto why = host->openMidiFile(options.midiFile)) {
                std::cerr << "midi-sondrel: " << options.midiFile.getFullPathName() << ": " << *why << std::endl;
                setApplicationReturnValue(1);
                quit();
                return;
            }
            host->setPlaying(true);
        }
        window = std::make_unique<MainWindow>(*host);
        window->contents().transportBar().refreshFromHost();
        host->startClock();
        started = juce::Time::getMillisecondCounterHiRes();
        startTimerHz(10);
    }

    void shutdown() override
    {
        stopTimer();
        window.reset();  // the plug-in's window goes before the plug-in
        host.reset();
    }

    void systemRequestedQuit() override { quit(); }
    void anotherInstanceStarted(const juce::String&) override {}

private:
    void timerCallback() override
    {
        // Recordings, as the window lists them.
        int count = 0;
        std::uint64_t events = 0;
        for (const auto& s : host->audioUnit().settings().live.recordingInfo.summaries.peek()) {
            ++count;
            events += static_cast<std::uint64_t>(s->noteCount.peek());
        }
        if (count != reportedRecordings) {
            reportedRecordings = count;
            std::cout << "MIDI Sondrel: " << count << (count == 1 ? " recording" : " recordings") << std::endl;
        }

        const double elapsed = (juce::Time::getMillisecondCounterHiRes() - started) / 1000.0;
        if (options.screenshot != juce::File() && !screenshotTaken && events >= screenshotEvents) {
            // Give the window a few of its 60 Hz polls to show them.
            if (shootAt < 0.0)
                shootAt = elapsed + 0.5;
            else if (elapsed >= shootAt)
                takeScreenshot();
        }
        if (options.quitAfterSeconds > 0.0 && elapsed >= options.quitAfterSeconds) {
            if (options.screenshot != juce::File() && !screenshotTaken) {
                std::cerr << "MIDI Sondrel: no recordings to show after " << elapsed << " s" << std::endl;
                setApplicationReturnValue(1);
            }
            quit();
        }
    }

    void takeScreenshot()
    {
        screenshotTaken = true;
        auto& contents = window->contents();
        const juce::Image image = contents.createComponentSnapshot(contents.getLocalBounds());
        options.screenshot.getParentDirectory().createDirectory();
        options.screenshot.deleteFile();
        juce::FileOutputStream out(options.screenshot);
        juce::PNGImageFormat png;
        if (!out.openedOk() || !png.writeImageToStream(image, out)) {
            std::cerr << "MIDI Sondrel: could not write " << options.screenshot.getFullPathName() << std::endl;
            setApplicationReturnValue(1);
        } else {
            std::cout << "MIDI Sondrel: window saved to " << options.screenshot.getFullPathName() << std::endl;
        }
        quit();
    }

    static constexpr std::uint64_t screenshotEvents = 16;

    LaunchOptions options;
    std::unique_ptr<LiveHost> host;
    std::unique_ptr<MainWindow> window;
    double started = 0.0;
    double shootAt = -1.0;
    int reportedRecordings = 0;
    bool screenshotTaken = false;
};

START_JUCE_APPLICATION(SondrelApp)
