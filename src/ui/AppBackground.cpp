#include "ui/AppBackground.h"

namespace norvane
{

AppBackground::AppBackground(const ViewContext& contextIn) : context(contextIn)
{
    setInterceptsMouseClicks(false, false);
    setOpaque(true);
    watch.watch(context.theme, [this] { repaint(); });
}

void AppBackground::paint(juce::Graphics& g)
{
    const auto style = context.theme.backgroundStyle.get();
    g.fillAll(groundColour(style));
    const auto& photo = context.theme.backgroundImage();
    if (style != BackgroundStyle::image || !photo.isValid())
        return;
    g.drawImage(photo, getLocalBounds().toFloat(), juce::RectanglePlacement::fillDestination);
    g.fillAll(juce::Colours::black.withAlpha((float)context.theme.imageScrim.get()));
}

} // namespace norvane
