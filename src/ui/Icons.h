#pragma once

#include <juce_graphics/juce_graphics.h>

#include <string_view>

namespace norvane
{

/** The program's icons, drawn from paths of its own and named after the symbols they picture
    ("pianokeys", "globe", "arrow.clockwise", …). Each is designed on a 24 × 24 grid and scaled
    to fit the area, centred, keeping its proportions. */
juce::Path iconPath(std::string_view symbol);

/** Whether a picture exists for the symbol; unknown symbols draw nothing. */
bool hasIcon(std::string_view symbol);

void drawIcon(juce::Graphics& g, std::string_view symbol, juce::Rectangle<float> area,
              juce::Colour colour);

} // namespace norvane
