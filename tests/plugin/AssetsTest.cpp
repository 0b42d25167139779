// The artwork and fonts: every name the window uses exists with the right kind and size, the
// lit key shapes line up with the keyboard pictures, and the embedded fonts are the ones used.

#include "AssetCatalogue.h"
#include "Assets.h"
#include "InterFont.h"
#include "RocketFont.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <map>
#include <optional>
#include <set>

using Wickerlamp::AssetCatalogue;

namespace {

const char* const pluginColourNames[] = {
    "background", "blueText", "info", "values", "eventSummaryBackground", "blueBorder", "greyBorder",
    "greenBorder", "redBorder", "yellowBorder", "greenText", "greyText", "redText", "yellowText",
};
const char* const libraryColourNames[] = {
    "buttonText", "background", "tabSelected", "tabUnselected", "versionInfo", "updateBackground",
};
const char* const keyColours[] = {"yellow", "blue", "green", "red"};

struct Size {
    float width, height;
};

/// The natural size of every image, in points.
std::map<juce::String, Size> pluginImageSizes()
{
    std::map<juce::String, Size> sizes{
        {"keyboard-allkeys", {640, 72}},
        {"keyboard-octave", {127, 76}},
        {"midi-icon-blue", {30, 38}},
        {"midi-icon-grey", {30, 38}},
    };
    for (const juce::String colour : keyColours) {
        for (const char* shape : {"cf", "dga", "eb"})
            sizes["keyboard-" + colour + "-" + shape] = {17, 72};
        sizes["keyboard-" + colour + "-blackkeys"] = {12, 44};
    }
    return sizes;
}

const std::map<juce::String, Size> libraryImageSizes{
    {"modern-button", {120, 27}},
    {"modern-button-on", {120, 27}},
    {"modern-button-down", {120, 27}},
    {"modern-button-on-down", {120, 27}},
    {"corvel-logo", {126, 28}},
};

juce::Image blankImage(int width, int height)
{
    return juce::Image(juce::Image::ARGB, width, height, true, juce::SoftwareImageType());
}

void draw(juce::Image& target, const AssetCatalogue& catalogue, const juce::String& name, float x, float y = 0)
{
    auto drawable = catalogue.image(name);
    ASSERT_NE(drawable, nullptr) << name;
    juce::Graphics g(target);
    drawable->drawAt(g, x, y, 1.0f);
}

/// An image drawn alone at its natural size.
juce::Image render(const AssetCatalogue& catalogue, const juce::String& name)
{
    auto drawable = catalogue.image(name);
    const auto bounds = drawable->getDrawableBounds();
    auto image = blankImage(juce::roundToInt(bounds.getWidth()), juce::roundToInt(bounds.getHeight()));
    draw(image, catalogue, name, 0);
    return image;
}

bool near(juce::Colour a, juce::Colour b, int tolerance = 3)
{
    const auto close = [&](juce::uint8 x, juce::uint8 y) { return std::abs(int(x) - int(y)) <= tolerance; };
    return close(a.getRed(), b.getRed()) && close(a.getGreen(), b.getGreen()) && close(a.getBlue(), b.getBlue())
           && close(a.getAlpha(), b.getAlpha());
}

// Points inside each lit shape at which its colour is sampled: the lower, full-width part of a
// white key (below the black keys) and the middle of a black key.
constexpr int whiteSampleX = 8, whiteSampleY = 60;
constexpr int blackSampleX = 6, blackSampleY = 22;

struct KeyPlace {
    juce::String shape;  // "cf", "dga", "eb" or "blackkeys"
    int x;
    bool black;
};

const char* const whiteShapeOfKey[] = {"cf", "dga", "eb", "cf", "dga", "dga", "eb"};  // C D E F G A B
const int whiteKeyOfPitch[] = {0, -1, 1, -1, 2, 3, -1, 4, -1, 5, -1, 6};
const int blackKeyOfPitch[] = {-1, 0, -1, 1, -1, -1, 2, -1, 3, -1, 4, -1};
const int blackKeyOffsets[] = {11, 28, 62, 79, 96};

/// Where the keyboard strip lights a held note; nothing for notes it does not show.
std::optional<KeyPlace> stripPlace(int note)
{
    if (note < 24)
        return std::nullopt;
    const int pitch = note % 12;
    if (const int key = whiteKeyOfPitch[pitch]; key >= 0) {
        const int whiteIndex = key + 7 * (note / 12) - 14;
        if (whiteIndex > 37)
            return std::nullopt;
        return KeyPlace{whiteShapeOfKey[key], whiteIndex * 17, false};
    }
    const int octave = note / 12 - 2;
    const int key = blackKeyOfPitch[pitch];
    if (key + 5 * octave > 26)
        return std::nullopt;
    return KeyPlace{"blackkeys", 119 * octave + blackKeyOffsets[key], true};
}

/// Where the one-octave picture lights a pitch class (0 = C).
KeyPlace octavePlace(int pitch)
{
    static const KeyPlace places[] = {
        {"cf", 4, false},  {"blackkeys", 15, true}, {"dga", 21, false},  {"blackkeys", 32, true},
        {"eb", 38, false}, {"cf", 55, false},       {"blackkeys", 66, true}, {"dga", 72, false},
        {"blackkeys", 83, true}, {"dga", 89, false}, {"blackkeys", 100, true}, {"eb", 106, false},
    };
    return places[pitch];
}

juce::Point<int> samplePoint(const KeyPlace& place)
{
    return place.black ? juce::Point<int>{place.x + blackSampleX, blackSampleY}
                       : juce::Point<int>{place.x + whiteSampleX, whiteSampleY};
}

/// A picture with the given keys lit, white keys first, black keys above them.
juce::Image lit(const juce::String& base, const std::vector<KeyPlace>& keys, const juce::String& colour)
{
    const auto& assets = pluginAssets();
    auto image = render(assets, base);
    for (const bool black : {false, true})
        for (const auto& key : keys)
            if (key.black == black)
                draw(image, assets, "keyboard-" + colour + "-" + key.shape, static_cast<float>(key.x));
    return image;
}

/// The colour of a lit shape at its sample point.
juce::Colour litColour(const juce::String& colour, bool black)
{
    const auto shape = render(pluginAssets(), "keyboard-" + colour + (black ? "-blackkeys" : "-cf"));
    return black ? shape.getPixelAt(blackSampleX, blackSampleY) : shape.getPixelAt(whiteSampleX, whiteSampleY);
}

std::vector<KeyPlace> stripKeys()
{
    std::vector<KeyPlace> keys;
    for (int note = 0; note < 128; ++note)
        if (auto place = stripPlace(note))
            keys.push_back(*place);
    return keys;
}

} // namespace

TEST(AssetCatalogue, MissingNamesShowAsMagentaOrNothing)
{
    static const char svg[] = R"(<svg xmlns="http://www.w3.org/2000/svg" width="10" height="4" viewBox="0 0 10 4">)"
                              R"(<rect width="10" height="4" fill="#00ff00"/></svg>)";
    static const char other[] = R"(<svg xmlns="http://www.w3.org/2000/svg" width="3" height="3" viewBox="0 0 3 3"/>)";
    const AssetCatalogue catalogue({{"ink", 0xff102030}, {"ink", 0xffffffff}},
                                   {{"box", svg, int(sizeof(svg) - 1)}, {"box", other, int(sizeof(other) - 1)}});

    EXPECT_EQ(catalogue.colour("ink"), juce::Colour(0xff102030)) << "the first of two equal names counts";
    EXPECT_EQ(catalogue.colour("Ink"), juce::Colour(0xffff00ff));
    EXPECT_EQ(catalogue.colour(""), juce::Colour(0xffff00ff));
    EXPECT_FALSE(catalogue.hasColour("box"));
    EXPECT_FALSE(catalogue.hasImage("ink"));
    EXPECT_EQ(catalogue.image("missing"), nullptr);
    EXPECT_EQ(catalogue.colourNames(), juce::StringArray("ink"));
    EXPECT_EQ(catalogue.imageNames(), juce::StringArray("box"));

    auto first = catalogue.image("box");
    auto second = catalogue.image("box");
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(first.get(), second.get()) << "each call gives its own drawable";
    EXPECT_EQ(first->getDrawableBounds(), juce::Rectangle<float>(0, 0, 10, 4));
    first->setTransform(juce::AffineTransform::scale(3.0f));
    EXPECT_EQ(catalogue.image("box")->getTransform(), juce::AffineTransform()) << "a change to a copy stays there";
}

TEST(AssetCatalogue, EachCatalogueHasExactlyTheNamesItsViewsUse)
{
    const auto check = [](const AssetCatalogue& catalogue, const std::vector<const char*>& colourNames,
                          const std::map<juce::String, Size>& imageSizes) {
        for (const char* name : colourNames) {
            EXPECT_TRUE(catalogue.hasColour(name)) << name;
            EXPECT_FALSE(catalogue.hasImage(name)) << name;
            EXPECT_TRUE(catalogue.colour(name).isOpaque()) << name;
        }
        for (const auto& [name, size] : imageSizes) {
            EXPECT_TRUE(catalogue.hasImage(name)) << name;
            EXPECT_FALSE(catalogue.hasColour(name)) << name;
        }
        EXPECT_EQ(catalogue.colourNames().size(), int(colourNames.size()));
        EXPECT_EQ(catalogue.imageNames().size(), int(imageSizes.size()));
    };
    check(AssetCatalogue::library(), {std::begin(libraryColourNames), std::end(libraryColourNames)}, libraryImageSizes);
    check(pluginAssets(), {std::begin(pluginColourNames), std::end(pluginColourNames)}, pluginImageSizes());
    EXPECT_EQ(pluginImageSizes().size(), 20u);
    EXPECT_EQ(&AssetCatalogue::library(), &AssetCatalogue::library()) << "built once";
    EXPECT_EQ(&pluginAssets(), &pluginAssets()) << "built once";
}

TEST(AssetCatalogue, TextColoursStandOutFromTheBackgrounds)
{
    const auto& assets = pluginAssets();
    for (const char* background : {"background", "eventSummaryBackground"})
        for (const char* text : {"values", "info", "blueText", "greenText", "redText", "yellowText", "greyText"}) {
            const float difference = std::abs(assets.colour(text).getPerceivedBrightness()
                                              - assets.colour(background).getPerceivedBrightness());
            EXPECT_GT(difference, 0.3f) << text << " on " << background;
        }
    const auto& library = AssetCatalogue::library();
    for (const char* text : {"tabSelected", "tabUnselected", "versionInfo", "buttonText"})
        EXPECT_GT(std::abs(library.colour(text).getPerceivedBrightness()
                           - library.colour("background").getPerceivedBrightness()),
                  0.3f)
            << text;
    EXPECT_GT(std::abs(library.colour("updateBackground").getPerceivedBrightness()
                       - library.colour("background").getPerceivedBrightness()),
              0.5f)
        << "the update button's text is the background colour";
}

TEST(AssetCatalogue, EveryImageHasItsNaturalSizeAndDrawsSomething)
{
    for (const auto& [catalogue, sizes] : {std::pair{&pluginAssets(), pluginImageSizes()},
                                           std::pair{&AssetCatalogue::library(), libraryImageSizes}}) {
        for (const auto& [name, size] : sizes) {
            SCOPED_TRACE(name);
            auto drawable = catalogue->image(name);
            ASSERT_NE(drawable, nullptr);
            const juce::Rectangle<float> natural(0, 0, size.width, size.height);
            const auto* composite = dynamic_cast<juce::DrawableComposite*>(drawable.get());
            ASSERT_NE(composite, nullptr);
            EXPECT_EQ(composite->getContentArea(), natural) << "the SVG's view box";
            // What drawWithin and layout code measure: the painted bounds fill the view box.
            const auto bounds = drawable->getDrawableBounds();
            EXPECT_NEAR(bounds.getX(), 0.0f, 1e-3f);
            EXPECT_NEAR(bounds.getY(), 0.0f, 1e-3f);
            EXPECT_NEAR(bounds.getRight(), size.width, 1e-3f);
            EXPECT_NEAR(bounds.getBottom(), size.height, 1e-3f);

            const auto image = render(*catalogue, name);
            int painted = 0;
            for (int y = 0; y < image.getHeight(); ++y)
                for (int x = 0; x < image.getWidth(); ++x)
                    painted += image.getPixelAt(x, y).getAlpha() > 0 ? 1 : 0;
            EXPECT_GT(painted, image.getWidth() * image.getHeight() / 10);
        }
    }
}

TEST(AssetCatalogue, ButtonStatesLookDifferent)
{
    const auto& library = AssetCatalogue::library();
    const char* const states[] = {"modern-button", "modern-button-on", "modern-button-down", "modern-button-on-down"};
    std::vector<juce::Colour> faces;
    for (const char* state : states)
        faces.push_back(render(library, state).getPixelAt(60, 14));
    for (std::size_t a = 0; a < faces.size(); ++a)
        for (std::size_t b = a + 1; b < faces.size(); ++b)
            EXPECT_FALSE(near(faces[a], faces[b], 8)) << states[a] << " and " << states[b];
    EXPECT_LT(faces[2].getPerceivedBrightness(), faces[0].getPerceivedBrightness()) << "pressed is darker";
    EXPECT_LT(faces[3].getPerceivedBrightness(), faces[1].getPerceivedBrightness()) << "pressed is darker";
    EXPECT_TRUE(render(library, "modern-button").getPixelAt(0, 0).isTransparent()) << "rounded corners";
}

TEST(AssetCatalogue, StripKeysSitWhereTheirNotesAre)
{
    const auto keys = stripKeys();
    ASSERT_EQ(keys.size(), 65u);
    EXPECT_EQ(stripPlace(24)->x, 0);
    EXPECT_EQ(stripPlace(25)->x, 11);
    EXPECT_EQ(stripPlace(88)->x, 629);
    EXPECT_FALSE(stripPlace(23).has_value());
    EXPECT_FALSE(stripPlace(89).has_value());

    const auto base = render(pluginAssets(), "keyboard-allkeys");
    for (const auto& key : keys) {
        const auto at = samplePoint(key);
        const float brightness = base.getPixelAt(at.x, at.y).getPerceivedBrightness();
        if (key.black)
            EXPECT_LT(brightness, 0.3f) << "black key at " << key.x;
        else
            EXPECT_GT(brightness, 0.7f) << "white key at " << key.x;
    }
}

TEST(AssetCatalogue, StripLightsExactlyTheHeldKey)
{
    const auto keys = stripKeys();
    const auto base = render(pluginAssets(), "keyboard-allkeys");
    const auto white = litColour("yellow", false);
    const auto black = litColour("yellow", true);
    ASSERT_FALSE(near(white, black));

    for (const auto& key : keys) {
        SCOPED_TRACE("key at x " + std::to_string(key.x));
        const auto image = lit("keyboard-allkeys", {key}, "yellow");
        for (const auto& other : keys) {
            const auto at = samplePoint(other);
            const auto expected = other.x == key.x && other.black == key.black
                                      ? (key.black ? black : white)
                                      : base.getPixelAt(at.x, at.y);
            EXPECT_TRUE(near(image.getPixelAt(at.x, at.y), expected)) << "sampled key at x " << other.x;
        }
        if (!key.black) {
            // The top of the key, between or beside its black neighbours, is lit too.
            const int topX = key.x + (key.shape == "cf" ? 5 : key.shape == "dga" ? 8 : 12);
            if (topX < base.getWidth()) {
                EXPECT_TRUE(near(image.getPixelAt(topX, 10), white)) << "top of the key";
            }
        }
    }
}

TEST(AssetCatalogue, LitWhiteKeysLeaveTheBlackKeysVisible)
{
    std::vector<KeyPlace> whites;
    for (const auto& key : stripKeys())
        if (!key.black)
            whites.push_back(key);
    const auto base = render(pluginAssets(), "keyboard-allkeys");
    const auto image = lit("keyboard-allkeys", whites, "blue");

    for (const auto& key : stripKeys()) {
        if (!key.black)
            continue;
        // Across the whole black key, not only its middle: no lit colour over it anywhere.
        for (int x = key.x; x < key.x + 12; ++x)
            for (int y = 0; y < 44; y += 4)
                EXPECT_TRUE(near(image.getPixelAt(x, y), base.getPixelAt(x, y))) << "black key at " << key.x
                                                                                  << ", x " << x << " y " << y;
    }
    // Notes 60 and 61 held: the black key is drawn above its lit white neighbour.
    const auto both = lit("keyboard-allkeys", {*stripPlace(60), *stripPlace(61)}, "red");
    const auto at = samplePoint(*stripPlace(61));
    EXPECT_TRUE(near(both.getPixelAt(at.x, at.y), litColour("red", true)));
    const auto below = samplePoint(*stripPlace(60));
    EXPECT_TRUE(near(both.getPixelAt(below.x, below.y), litColour("red", false)));
}

TEST(AssetCatalogue, OctaveKeysSitWhereTheirPitchesAre)
{
    const auto base = render(pluginAssets(), "keyboard-octave");
    for (const juce::String colour : keyColours) {
        SCOPED_TRACE(colour);
        const auto white = litColour(colour, false);
        const auto black = litColour(colour, true);
        for (int pitch = 0; pitch < 12; ++pitch) {
            const auto key = octavePlace(pitch);
            const auto image = lit("keyboard-octave", {key}, colour);
            for (int other = 0; other < 12; ++other) {
                const auto at = samplePoint(octavePlace(other));
                const auto expected = other == pitch ? (key.black ? black : white) : base.getPixelAt(at.x, at.y);
                EXPECT_TRUE(near(image.getPixelAt(at.x, at.y), expected)) << "pitch " << pitch << ", sampled " << other;
            }
        }
    }
    // All seven white keys lit: the five black keys are untouched.
    std::vector<KeyPlace> whites;
    for (const int pitch : {0, 2, 4, 5, 7, 9, 11})
        whites.push_back(octavePlace(pitch));
    const auto image = lit("keyboard-octave", whites, "green");
    for (const int pitch : {1, 3, 6, 8, 10}) {
        const auto key = octavePlace(pitch);
        for (int x = key.x; x < key.x + 12; ++x)
            EXPECT_TRUE(near(image.getPixelAt(x, 30), base.getPixelAt(x, 30))) << "pitch " << pitch << ", x " << x;
        EXPECT_LT(base.getPixelAt(key.x + blackSampleX, blackSampleY).getPerceivedBrightness(), 0.3f);
    }
}

TEST(Fonts, RocketIsTheEmbeddedLeagueSpartan)
{
    const auto font = Wickerlamp::rocketFont(16.0f);
    const auto typeface = font.getTypefacePtr();
    ASSERT_NE(typeface, nullptr);
    EXPECT_EQ(typeface->getName(), "League Spartan");
    EXPECT_EQ(typeface->getStyle(), "Bold");
    EXPECT_EQ(font.getTypefaceName(), "League Spartan");
    EXPECT_EQ(Wickerlamp::rocketFont(30.0f).getTypefacePtr(), typeface) << "one typeface for every size";
}

TEST(Fonts, InterHasFiveEmbeddedWeights)
{
    const std::pair<FontWeight, const char*> weights[] = {
        {FontWeight::light, "Light"},       {FontWeight::regular, "Regular"}, {FontWeight::medium, "Medium"},
        {FontWeight::semibold, "SemiBold"}, {FontWeight::bold, "Bold"},
    };
    float previousWidth = 0;
    for (const auto& [weight, style] : weights) {
        SCOPED_TRACE(style);
        const auto font = interFont(20.0f, weight);
        const auto typeface = font.getTypefacePtr();
        ASSERT_NE(typeface, nullptr);
        EXPECT_EQ(typeface->getName(), "Inter");
        EXPECT_EQ(typeface->getStyle().removeCharacters(" "), style);
        EXPECT_EQ(interFont(12.0f, weight).getTypefacePtr(), typeface);
        // Inter's letters widen with weight, so mixed-up files show here.
        const float width = font.getStringWidthFloat("Chord And Scale");
        EXPECT_GT(width, previousWidth);
        previousWidth = width;
    }
}

TEST(Fonts, SizesAreEmSizes)
{
    // Capital letters are a known fraction of the em: 2048/2816 in Inter, 1320/2000 in League
    // Spartan (their cap heights), so at 100 points an H is that many hundredths high.
    const auto capHeight = [](const juce::Font& font) {
        juce::GlyphArrangement glyphs;
        glyphs.addLineOfText(font, "H", 0, 0);
        juce::Path outline;
        glyphs.createPath(outline);
        return outline.getBounds().getHeight();
    };
    EXPECT_NEAR(capHeight(interFont(100.0f, FontWeight::regular)), 72.7f, 1.0f);
    EXPECT_NEAR(capHeight(interFont(100.0f, FontWeight::bold)), 72.7f, 1.0f);
    EXPECT_NEAR(capHeight(Wickerlamp::rocketFont(100.0f)), 66.0f, 1.0f);
    EXPECT_NEAR(capHeight(Wickerlamp::rocketFont(50.0f)), 33.0f, 0.5f);
}
