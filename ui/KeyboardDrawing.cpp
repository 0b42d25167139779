#include "KeyboardDrawing.h"

#include "Assets.h"

void drawKeyboard(juce::Graphics& g, const juce::String& base, const std::vector<LitKey>& keys)
{
    const auto& assets = pluginAssets();
    if (auto picture = assets.image(base))
        picture->drawAt(g, 0.0f, 0.0f, 1.0f);
    for (int depth : {0, 1})
        for (const auto& key : keys)
            if (key.depth == depth)
                if (auto shape = assets.image(key.image))
                    shape->drawAt(g, static_cast<float>(key.x), 0.0f, 1.0f);
}
