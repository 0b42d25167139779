#include "MainComponent.h"

#include "LiveHost.h"

MainComponent::MainComponent(LiveHost& host) : bar(host)
{
    addAndMakeVisible(bar);
    editor.reset(host.processor().createEditorIfNeeded());
    if (editor != nullptr) {
        addAndMakeVisible(*editor);
        editor->addComponentListener(this);
    }
    fitToEditor();
}

MainComponent::~MainComponent()
{
    if (editor != nullptr)
        editor->removeComponentListener(this);
    editor.reset();  // before the audio unit it belongs to
}

void MainComponent::fitToEditor()
{
    const int editorWidth = editor != nullptr ? editor->getWidth() : 0;
    const int editorHeight = editor != nullptr ? editor->getHeight() : 0;
    setSize(juce::jmax(editorWidth, TransportBar::minimumWidth), TransportBar::preferredHeight + editorHeight);
}

void MainComponent::paint(juce::Graphics& g)
{
    g.fillAll(getLookAndFeel().findColour(juce::ResizableWindow::backgroundColourId));
}

void MainComponent::resized()
{
    auto area = getLocalBounds();
    bar.setBounds(area.removeFromTop(TransportBar::preferredHeight));
    if (editor != nullptr)
        editor->setTopLeftPosition(area.getX() + (area.getWidth() - editor->getWidth()) / 2, area.getY());
}

void MainComponent::componentMovedOrResized(juce::Component&, bool, bool wasResized)
{
    if (wasResized)
        fitToEditor();
}
