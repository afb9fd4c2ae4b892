#include "ui/RootView.h"

namespace norvane
{

namespace
{
constexpr double entranceTime = 0.5;

float easeOut(float t) { return 1.0f - (1.0f - t) * (1.0f - t) * (1.0f - t); }
} // namespace

SplashView::SplashView(const ViewContext& contextIn, double minimumDisplayTimeIn)
    : context(contextIn), background(contextIn), logo(contextIn, 44.0f),
      minimumDisplayTime(minimumDisplayTimeIn)
{
    addAndMakeVisible(background);
    addAndMakeVisible(logo);
    logo.setAlpha(0.0f);
    startTimerHz(60); // the clock starts when the splash is first on screen
}

void SplashView::resized()
{
    background.setBounds(getLocalBounds());
    const int w = logo.idealWidth();
    const float scale = 0.86f + 0.14f * progress;
    const auto centre = getLocalBounds().getCentre().translated(0, -20);
    logo.setBounds(juce::Rectangle<int>(w, 64).withCentre(centre));
    logo.setTransform(juce::AffineTransform::scale(scale, scale, (float)centre.x, (float)centre.y));
    logo.setAlpha(progress);
}

void SplashView::paint(juce::Graphics&) {}

void SplashView::paintOverChildren(juce::Graphics& g)
{
    const auto centre = getLocalBounds().getCentre();
    const float rise = 8.0f * (1.0f - progress);
    g.setColour(context.textSecondary().withMultipliedAlpha(progress));
    g.setFont(Fonts::body().withHeight(15.0f));
    g.drawText(context.text("Visor de acordes y consola en vivo", "Chord viewer and live performance"),
               juce::Rectangle<float>(0.0f, (float)centre.y + 22.0f + rise, (float)getWidth(), 22.0f),
               juce::Justification::centred, false);
}

void SplashView::timerCallback()
{
    if (!started)
    {
        if (!isShowing())
            return;
        started = true;
        startTime = juce::Time::getMillisecondCounterHiRes() / 1000.0;
    }
    const double elapsed = juce::Time::getMillisecondCounterHiRes() / 1000.0 - startTime;
    progress = easeOut((float)juce::jlimit(0.0, 1.0, elapsed / entranceTime));
    resized();
    repaint();
    if (elapsed >= minimumDisplayTime && !finished)
    {
        finished = true;
        stopTimer();
        if (onFinished)
            onFinished();
    }
}

RootView::RootView(const ViewContext& contextIn, std::function<std::unique_ptr<juce::Component>()> make)
    : context(contextIn), makeContent(std::move(make))
{
    splash = std::make_unique<SplashView>(context, splashTime);
    splash->onFinished = [this]
    {
        juce::Component::SafePointer<RootView> self(this);
        juce::MessageManager::callAsync([self] { if (self != nullptr) self->finishSplash(); });
    };
    addAndMakeVisible(*splash);
}

void RootView::finishSplash()
{
    if (main != nullptr)
        return;
    main = makeContent();
    main->setBounds(getLocalBounds());
    main->setAlpha(0.0f);
    addAndMakeVisible(*main);
    auto& animator = juce::Desktop::getInstance().getAnimator();
    animator.animateComponent(main.get(), getLocalBounds(), 1.0f, 400, false, 0.0, 0.0);
    if (splash != nullptr)
    {
        animator.fadeOut(splash.get(), 400);
        splash.reset();
    }
}

void RootView::resized()
{
    if (splash != nullptr)
        splash->setBounds(getLocalBounds());
    if (main != nullptr)
        main->setBounds(getLocalBounds());
}

} // namespace norvane
