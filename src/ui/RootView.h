#pragma once

#include "ui/AppBackground.h"
#include "ui/HeaderBar.h"
#include "ui/Look.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <functional>
#include <memory>

namespace norvane
{

/** The launch screen: the logo growing into place and the tagline rising under it, on the
    window's ground. Calls onFinished once, minimumDisplayTime seconds after it first shows. */
class SplashView final : public juce::Component, private juce::Timer
{
public:
    SplashView(const ViewContext& context, double minimumDisplayTime);

    std::function<void()> onFinished;

    void paint(juce::Graphics& g) override;
    void paintOverChildren(juce::Graphics& g) override;
    void resized() override;

    /** 0 before the entrance, 1 when it is complete. */
    float entrance() const { return progress; }

private:
    void timerCallback() override;

    const ViewContext& context;
    AppBackground background;
    Logo logo;
    double minimumDisplayTime;
    double startTime = 0.0;
    float progress = 0.0f;
    bool started = false, finished = false;
};

/** The window's content: the splash first, then the main content, faded in. */
class RootView final : public juce::Component
{
public:
    RootView(const ViewContext& context, std::function<std::unique_ptr<juce::Component>()> makeContent);

    static constexpr double splashTime = 1.4;

    void resized() override;
    bool showsSplash() const { return splash != nullptr; }
    juce::Component* content() const { return main.get(); }
    /** Ends the splash at once (the splash does this itself after its time). */
    void finishSplash();

private:
    const ViewContext& context;
    std::function<std::unique_ptr<juce::Component>()> makeContent;
    std::unique_ptr<SplashView> splash;
    std::unique_ptr<juce::Component> main;
};

} // namespace norvane
