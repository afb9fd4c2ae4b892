#pragma once

#include "ui/ViewContext.h"

#include <juce_gui_basics/juce_gui_basics.h>

namespace norvane
{

/** The window's ground: the style's colour, or the photo scaled to fill, cropped, under its
    black veil. It takes no clicks. */
class AppBackground final : public juce::Component
{
public:
    explicit AppBackground(const ViewContext& context);
    void paint(juce::Graphics& g) override;

private:
    const ViewContext& context;
    ModelWatch watch;
};

} // namespace norvane
