#include <gtest/gtest.h>
#include <juce_events/juce_events.h>

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    // The test thread is the message thread.
    juce::ScopedJuceInitialiser_GUI juce;
    return RUN_ALL_TESTS();
}
