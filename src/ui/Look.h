#pragma once

#include "ui/ViewContext.h"

#include <juce_gui_basics/juce_gui_basics.h>
#include <juce_gui_extra/juce_gui_extra.h>

#include <functional>
#include <string>

namespace norvane
{

/** The program's fonts: one sans-serif family in a few sizes. */
namespace Fonts
{
juce::Font caption();    ///< 11 pt: hints, values, small labels
juce::Font body();       ///< 13 pt: buttons, rows
juce::Font headline();   ///< 15 pt bold: titles of panels and popovers
juce::Font bold(float size);
} // namespace Fonts

/** A flat panel in the ground's panel colour: the main window's cards and the keyboard. */
void paintPanel(juce::Graphics& g, juce::Rectangle<float> area, const ViewContext& context,
                float cornerRadius = 12.0f);

/** A rack panel: the ground's rack gradient edged with a faint light line, like the front
    plate of a unit in a rack. */
void paintRackPanel(juce::Graphics& g, juce::Rectangle<float> area, const ViewContext& context,
                    float cornerRadius = 10.0f);

/** Text filled with the accent's gradient (root accent at the top, accent at the bottom), fitted
    into `area` on one line, shrinking down to `minimumScale`. On light grounds the letters get a
    fine dark edge, so that pale accents stay readable. */
void drawAccentText(juce::Graphics& g, const ViewContext& context, const juce::String& text,
                    juce::Rectangle<float> area, juce::Font font, juce::Justification justification,
                    float minimumScale = 0.6f);

/** Colours of JUCE's own widgets (menus, sliders, text fields, tooltips, call-out boxes)
    following the theme, and the program's font family. */
class NorvaneLook final : public juce::LookAndFeel_V4
{
public:
    explicit NorvaneLook(const ViewContext& context);

    /** Takes the theme's current colours. */
    void refresh();

    void drawLinearSlider(juce::Graphics&, int x, int y, int width, int height, float sliderPos,
                          float minSliderPos, float maxSliderPos, juce::Slider::SliderStyle,
                          juce::Slider&) override;
    void drawCallOutBoxBackground(juce::CallOutBox&, juce::Graphics&, const juce::Path&,
                                  juce::Image&) override;
    juce::Font getPopupMenuFont() override { return Fonts::body(); }
    /** Every menu gives the keyboard back to the window when it closes. */
    void preparePopupMenuWindow(juce::Component& window) override;
    juce::Font getLabelFont(juce::Label& label) override { return label.getFont(); }
    void drawTooltip(juce::Graphics&, const juce::String& text, int width, int height) override;
    juce::Rectangle<int> getTooltipBounds(const juce::String& tipText, juce::Point<int> screenPos,
                                          juce::Rectangle<int> parentArea) override;

private:
    const ViewContext& context;
};

/** A control that leaves right-clicks (and Ctrl-clicks) to the menus hung on it (MIDI learn),
    instead of taking them for presses or drags. */
template <typename Base> class LeavesMenuClicks : public Base
{
public:
    using Base::Base;

    void mouseDown(const juce::MouseEvent& e) override
    {
        if (!e.mods.isPopupMenu())
            Base::mouseDown(e);
    }
    void mouseDrag(const juce::MouseEvent& e) override
    {
        if (!e.mods.isPopupMenu())
            Base::mouseDrag(e);
    }
    void mouseUp(const juce::MouseEvent& e) override
    {
        if (!e.mods.isPopupMenu())
            Base::mouseUp(e);
    }
};

/** A small rounded button with an icon and/or a text, in the plain style of the window's
    header and bars. While highlighted it is filled with the accent and its text is black. */
class PillButton : public LeavesMenuClicks<juce::Button>
{
public:
    PillButton(const ViewContext& context, std::string symbol = {}, juce::String text = {});

    void setSymbol(std::string newSymbol);
    void setHighlighted(bool shouldBe);
    bool isHighlighted() const { return highlighted; }
    void setCornerRadius(float radius) { cornerRadius = radius; }
    /** Drawn without a fill of its own until the pointer is over it. */
    void setBorderless(bool shouldBe) { borderless = shouldBe; }
    void setTextColour(std::optional<juce::Colour> colour) { textColour = colour; }
    void setTrailingSymbol(std::string symbol) { trailingSymbol = std::move(symbol); }

    /** The width that shows the icon and the whole text. */
    int idealWidth() const;

    void paintButton(juce::Graphics&, bool isOver, bool isDown) override;

protected:
    const ViewContext& context;

private:
    std::string symbol, trailingSymbol;
    bool highlighted = false, borderless = false;
    float cornerRadius = 6.0f;
    std::optional<juce::Colour> textColour;
};

/** A pill that opens a menu, with a chevron after its label. The menu is built when it opens,
    so that it always shows the current choices. */
class MenuPill : public PillButton
{
public:
    MenuPill(const ViewContext& context, std::string symbol = {});

    std::function<juce::PopupMenu()> makeMenu;

    void clicked() override;
};

/** An on/off switch tinted with the accent. */
class SwitchButton final : public LeavesMenuClicks<juce::ToggleButton>
{
public:
    explicit SwitchButton(const ViewContext& context);
    void paintButton(juce::Graphics&, bool isOver, bool isDown) override;

private:
    const ViewContext& context;
};

/** A label that takes its colour and font from the arguments and keeps them. */
void styleLabel(juce::Label& label, juce::Font font, juce::Colour colour,
                juce::Justification justification = juce::Justification::centredLeft);

/** Shows `content` in a call-out box pointing at `target`, in the window's colours. The box
    deletes itself when dismissed. */
juce::CallOutBox& showPopover(std::unique_ptr<juce::Component> content, juce::Component& target);

} // namespace norvane
