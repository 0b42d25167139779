#include "Assets.h"

#include "SondrelAssets.h"

const Wickerlamp::AssetCatalogue& pluginAssets()
{
    using namespace SondrelAssets;
    static const Wickerlamp::AssetCatalogue catalogue(
        {
            {"background", 0xff1b1f27},
            {"eventSummaryBackground", 0xff252a34},
            {"values", 0xffe8ebf0},
            {"info", 0xff8c95a6},
            {"blueText", 0xff5aa9e6},
            {"blueBorder", 0xff3a78ad},
            {"greenText", 0xff5cc98a},
            {"greenBorder", 0xff3b8a5e},
            {"redText", 0xffec6b65},
            {"redBorder", 0xffa94a46},
            {"yellowText", 0xfff2c14e},
            {"yellowBorder", 0xffa8883a},
            {"greyText", 0xffa3aab7},
            {"greyBorder", 0xff4a5261},
        },
        {
            {"keyboard-allkeys", keyboardallkeys_svg, keyboardallkeys_svgSize},
            {"keyboard-octave", keyboardoctave_svg, keyboardoctave_svgSize},
            {"keyboard-yellow-cf", keyboardyellowcf_svg, keyboardyellowcf_svgSize},
            {"keyboard-yellow-dga", keyboardyellowdga_svg, keyboardyellowdga_svgSize},
            {"keyboard-yellow-eb", keyboardyelloweb_svg, keyboardyelloweb_svgSize},
            {"keyboard-yellow-blackkeys", keyboardyellowblackkeys_svg, keyboardyellowblackkeys_svgSize},
            {"keyboard-blue-cf", keyboardbluecf_svg, keyboardbluecf_svgSize},
            {"keyboard-blue-dga", keyboardbluedga_svg, keyboardbluedga_svgSize},
            {"keyboard-blue-eb", keyboardblueeb_svg, keyboardblueeb_svgSize},
            {"keyboard-blue-blackkeys", keyboardblueblackkeys_svg, keyboardblueblackkeys_svgSize},
            {"keyboard-green-cf", keyboardgreencf_svg, keyboardgreencf_svgSize},
            {"keyboard-green-dga", keyboardgreendga_svg, keyboardgreendga_svgSize},
            {"keyboard-green-eb", keyboardgreeneb_svg, keyboardgreeneb_svgSize},
            {"keyboard-green-blackkeys", keyboardgreenblackkeys_svg, keyboardgreenblackkeys_svgSize},
            {"keyboard-red-cf", keyboardredcf_svg, keyboardredcf_svgSize},
            {"keyboard-red-dga", keyboardreddga_svg, keyboardreddga_svgSize},
            {"keyboard-red-eb", keyboardredeb_svg, keyboardredeb_svgSize},
            {"keyboard-red-blackkeys", keyboardredblackkeys_svg, keyboardredblackkeys_svgSize},
            {"midi-icon-blue", midiiconblue_svg, midiiconblue_svgSize},
            {"midi-icon-grey", midiicongrey_svg, midiicongrey_svgSize},
        });
    return catalogue;
}
