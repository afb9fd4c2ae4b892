#include "ui/Look.h"

#include "ui/Icons.h"
#include "ui/KeyboardHome.h"

namespace norvane
{

namespace
{
constexpr const char* family = "DejaVu Sans";
}

namespace Fonts
{
juce::Font caption() { return juce::Font(family, 11.5f, juce::Font::plain); }
juce::Font body() { return juce::Font(family, 13.0f, juce::Font::plain); }
juce::Font headline() { return juce::Font(family, 15.0f, juce::Font::bold); }
juce::Font bold(float size) { return juce::Font(family, size, juce::Font::bold); }
} // namespace Fonts

void paintPanel(juce::Graphics& g, juce::Rectangle<float> area, const ViewContext& context,
                float cornerRadius)
{
    g.setColour(context.panel());
    g.fillRoundedRectangle(area, cornerRadius);
    g.setColour(context.faint(0.07f));
    g.drawRoundedRectangle(area.reduced(0.5f), cornerRadius, 1.0f);
}

void paintRackPanel(juce::Graphics& g, juce::Rectangle<float> area, const ViewContext& context,
                    float cornerRadius)
{
    auto [top, bottom] = rackGradientColours(context.theme.backgroundStyle.get());
    g.setGradientFill(juce::ColourGradient::vertical(top, area.getY(), bottom, area.getBottom()));
    g.fillRoundedRectangle(area, cornerRadius);
    // A light edge along the top, fading down the sides: the plate's bevel.
    juce::ColourGradient edge = juce::ColourGradient::vertical(
        context.faint(context.isLightStyle() ? 0.16f : 0.14f), area.getY(),
        context.faint(0.03f), area.getBottom());
    g.setGradientFill(edge);
    g.drawRoundedRectangle(area.reduced(0.5f), cornerRadius, 1.0f);
}

void drawAccentText(juce::Graphics& g, const ViewContext& context, const juce::String& text,
                    juce::Rectangle<float> area, juce::Font font, juce::Justification justification,
                    float minimumScale)
{
    juce::GlyphArrangement glyphs;
    glyphs.addFittedText(font, text, area.getX(), area.getY(), area.getWidth(), area.getHeight(),
                         justification, 1, minimumScale);
    juce::Path outline;
    glyphs.createPath(outline);
    const auto bounds = outline.getBounds();
    g.setGradientFill(Theme::accentTextGradient(context.theme, bounds));
    g.fillPath(outline);
    if (context.isLightStyle())
    {
        g.setColour(context.textPrimary().withAlpha(0.55f));
        g.strokePath(outline, juce::PathStrokeType(std::max(0.8f, font.getHeight() / 40.0f)));
    }
}

// ---- NorvaneLook ---------------------------------------------------------------------------

NorvaneLook::NorvaneLook(const ViewContext& contextIn) : context(contextIn)
{
    setDefaultSansSerifTypefaceName(family);
    refresh();
}

void NorvaneLook::refresh()
{
    const auto text = context.textPrimary();
    const auto secondary = context.textSecondary();
    const auto panel = context.panel();
    const auto accent = context.accent();
    const auto menuGround = context.isLightStyle() ? juce::Colours::white
                                                   : panel.brighter(0.15f).withAlpha(1.0f);

    setColour(juce::PopupMenu::backgroundColourId, menuGround);
    setColour(juce::PopupMenu::textColourId, text);
    setColour(juce::PopupMenu::headerTextColourId, secondary);
    setColour(juce::PopupMenu::highlightedBackgroundColourId, accent.withAlpha(0.85f));
    setColour(juce::PopupMenu::highlightedTextColourId, juce::Colours::black);
    setColour(juce::Label::textColourId, text);
    setColour(juce::TextEditor::backgroundColourId, context.faint(0.08f));
    setColour(juce::TextEditor::textColourId, text);
    setColour(juce::TextEditor::outlineColourId, context.faint(0.22f));
    setColour(juce::TextEditor::focusedOutlineColourId, accent);
    setColour(juce::TextEditor::highlightColourId, accent.withAlpha(0.35f));
    setColour(juce::CaretComponent::caretColourId, accent);
    setColour(juce::Slider::thumbColourId, accent);
    setColour(juce::Slider::trackColourId, accent);
    setColour(juce::Slider::backgroundColourId, context.faint(0.12f));
    setColour(juce::TooltipWindow::backgroundColourId, menuGround);
    setColour(juce::TooltipWindow::textColourId, text);
    setColour(juce::TooltipWindow::outlineColourId, context.faint(0.2f));
    setColour(juce::ScrollBar::thumbColourId, context.faint(0.25f));
    setColour(juce::ResizableWindow::backgroundColourId, groundColour(context.theme.backgroundStyle));
    setColour(juce::TextButton::buttonColourId, context.faint(0.08f));
    setColour(juce::TextButton::textColourOffId, text);
    setColour(juce::ColourSelector::backgroundColourId, juce::Colours::transparentBlack);
    setColour(juce::ColourSelector::labelTextColourId, text);
}

void NorvaneLook::drawLinearSlider(juce::Graphics& g, int x, int y, int width, int height,
                                   float sliderPos, float, float, juce::Slider::SliderStyle,
                                   juce::Slider&)
{
    const auto area = juce::Rectangle<float>((float)x, (float)y, (float)width, (float)height);
    const float trackY = area.getCentreY();
    const auto track = juce::Rectangle<float>(area.getX(), trackY - 2.0f, area.getWidth(), 4.0f);
    g.setColour(context.faint(0.14f));
    g.fillRoundedRectangle(track, 2.0f);
    g.setColour(context.accent());
    g.fillRoundedRectangle(track.withRight(sliderPos), 2.0f);

    const auto thumb = juce::Rectangle<float>(14.0f, 14.0f).withCentre({sliderPos, trackY});
    g.setColour(juce::Colours::black.withAlpha(0.35f));
    g.fillEllipse(thumb.translated(0.0f, 1.0f));
    g.setColour(juce::Colour(0xffeef0ec));
    g.fillEllipse(thumb);
    g.setColour(juce::Colours::black.withAlpha(0.25f));
    g.drawEllipse(thumb.reduced(0.5f), 1.0f);
}

void NorvaneLook::drawCallOutBoxBackground(juce::CallOutBox&, juce::Graphics& g,
                                           const juce::Path& path, juce::Image&)
{
    auto ground = context.isLightStyle() ? juce::Colours::white : context.panel().brighter(0.1f);
    g.setColour(juce::Colours::black.withAlpha(0.4f));
    g.strokePath(path, juce::PathStrokeType(3.0f));
    g.setColour(ground);
    g.fillPath(path);
    g.setColour(context.faint(0.18f));
    g.strokePath(path, juce::PathStrokeType(1.0f));
}

juce::Rectangle<int> NorvaneLook::getTooltipBounds(const juce::String& tipText,
                                                   juce::Point<int> screenPos,
                                                   juce::Rectangle<int> parentArea)
{
    const int w = juce::jmin(360, Fonts::caption().getStringWidth(tipText) + 18);
    const int h = 24;
    return juce::Rectangle<int>(screenPos.x > parentArea.getCentreX() ? screenPos.x - (w + 12)
                                                                       : screenPos.x + 20,
                                screenPos.y + 16, w, h)
        .constrainedWithin(parentArea);
}

void NorvaneLook::drawTooltip(juce::Graphics& g, const juce::String& text, int width, int height)
{
    const auto area = juce::Rectangle<float>((float)width, (float)height);
    g.setColour(findColour(juce::TooltipWindow::backgroundColourId));
    g.fillRoundedRectangle(area, 5.0f);
    g.setColour(findColour(juce::TooltipWindow::outlineColourId));
    g.drawRoundedRectangle(area.reduced(0.5f), 5.0f, 1.0f);
    g.setColour(findColour(juce::TooltipWindow::textColourId));
    g.setFont(Fonts::caption());
    g.drawFittedText(text, area.toNearestInt().reduced(8, 2), juce::Justification::centredLeft, 1);
}

// ---- PillButton ----------------------------------------------------------------------------

PillButton::PillButton(const ViewContext& contextIn, std::string symbolIn, juce::String text)
    : LeavesMenuClicks<juce::Button>(text), context(contextIn), symbol(std::move(symbolIn))
{
    setMouseCursor(juce::MouseCursor::PointingHandCursor);
}

void PillButton::setSymbol(std::string newSymbol)
{
    symbol = std::move(newSymbol);
    repaint();
}

void PillButton::setHighlighted(bool shouldBe)
{
    if (highlighted != shouldBe)
    {
        highlighted = shouldBe;
        repaint();
    }
}

int PillButton::idealWidth() const
{
    const int iconWidth = symbol.empty() ? 0 : 16;
    const int textWidth = getButtonText().isEmpty() ? 0 : Fonts::body().getStringWidth(getButtonText());
    const int gap = iconWidth > 0 && textWidth > 0 ? 6 : 0;
    const int trailing = trailingSymbol.empty() ? 0 : 14;
    return 20 + iconWidth + gap + textWidth + trailing;
}

void PillButton::paintButton(juce::Graphics& g, bool isOver, bool isDown)
{
    auto area = getLocalBounds().toFloat().reduced(0.5f);
    const auto accent = context.accent();
    if (highlighted)
        g.setColour(accent.withMultipliedBrightness(isDown ? 0.85f : 1.0f));
    else if (borderless && !isOver)
        g.setColour(juce::Colours::transparentBlack);
    else
        g.setColour(context.faint(isDown ? 0.16f : isOver ? 0.11f : 0.06f));
    g.fillRoundedRectangle(area, cornerRadius);
    if (!highlighted && !borderless)
    {
        g.setColour(context.faint(0.08f));
        g.drawRoundedRectangle(area, cornerRadius, 1.0f);
    }

    const auto ink = highlighted ? juce::Colours::black
                                 : textColour.value_or(isEnabled() ? context.textPrimary()
                                                                   : context.textSecondary());
    const auto text = getButtonText();
    const float iconSize = 15.0f;
    const float textWidth = text.isEmpty() ? 0.0f : (float)Fonts::body().getStringWidth(text);
    const float iconWidth = symbol.empty() ? 0.0f : iconSize;
    const float gap = iconWidth > 0.0f && textWidth > 0.0f ? 6.0f : 0.0f;
    const float trailing = trailingSymbol.empty() ? 0.0f : 14.0f;
    const float inner = area.getWidth() - 16.0f;
    const float contentWidth = juce::jmin(inner, iconWidth + gap + textWidth + trailing);
    float x = area.getCentreX() - contentWidth / 2.0f;
    if (!symbol.empty())
    {
        drawIcon(g, symbol, {x, area.getCentreY() - iconSize / 2.0f, iconSize, iconSize}, ink);
        x += iconWidth + gap;
    }
    if (textWidth > 0.0f)
    {
        g.setColour(ink);
        g.setFont(Fonts::body());
        const float room = contentWidth - iconWidth - gap - trailing;
        g.drawFittedText(text, juce::Rectangle<float>(x, area.getY(), room, area.getHeight()).toNearestInt(),
                         juce::Justification::centredLeft, 1, 0.85f);
        x += room;
    }
    if (!trailingSymbol.empty())
        drawIcon(g, trailingSymbol, {x + 4.0f, area.getCentreY() - 4.5f, 9.0f, 9.0f},
                 ink.withMultipliedAlpha(0.8f));
}

// ---- MenuPill ------------------------------------------------------------------------------

MenuPill::MenuPill(const ViewContext& contextIn, std::string symbolIn)
    : PillButton(contextIn, std::move(symbolIn))
{
    setTrailingSymbol("chevron.down");
}

void MenuPill::clicked()
{
    if (!makeMenu)
        return;
    auto menu = makeMenu();
    menu.setLookAndFeel(&getLookAndFeel());
    menu.showMenuAsync(juce::PopupMenu::Options().withTargetComponent(this));
}

// ---- SwitchButton --------------------------------------------------------------------------

SwitchButton::SwitchButton(const ViewContext& contextIn) : context(contextIn)
{
    setMouseCursor(juce::MouseCursor::PointingHandCursor);
}

void SwitchButton::paintButton(juce::Graphics& g, bool, bool)
{
    const auto bounds = getLocalBounds().toFloat();
    const auto track = juce::Rectangle<float>(32.0f, 18.0f).withCentre(bounds.getCentre());
    const bool on = getToggleState();
    g.setColour(on ? context.accent() : context.faint(0.18f));
    g.fillRoundedRectangle(track, 9.0f);
    const auto knob = juce::Rectangle<float>(14.0f, 14.0f).withCentre(
        {on ? track.getRight() - 9.0f : track.getX() + 9.0f, track.getCentreY()});
    g.setColour(juce::Colours::black.withAlpha(0.3f));
    g.fillEllipse(knob.translated(0.0f, 0.8f));
    g.setColour(juce::Colours::white);
    g.fillEllipse(knob);
}

void styleLabel(juce::Label& label, juce::Font font, juce::Colour colour,
                juce::Justification justification)
{
    label.setFont(font);
    label.setColour(juce::Label::textColourId, colour);
    label.setJustificationType(justification);
    label.setBorderSize({0, 0, 0, 0});
    label.setMinimumHorizontalScale(0.8f);
    label.setInterceptsMouseClicks(false, false);
}

void NorvaneLook::preparePopupMenuWindow(juce::Component& window)
{
    LookAndFeel_V4::preparePopupMenuWindow(window);
    KeyboardHome::returnWhenGone(window);
}

juce::CallOutBox& showPopover(std::unique_ptr<juce::Component> content, juce::Component& target)
{
    auto* top = target.getTopLevelComponent();
    auto area = top != nullptr ? top->getLocalArea(&target, target.getLocalBounds())
                               : target.getScreenBounds();
    auto& box = juce::CallOutBox::launchAsynchronously(std::move(content), area, top);
    box.setLookAndFeel(&target.getLookAndFeel());
    box.setArrowSize(10.0f);
    KeyboardHome::returnWhenGone(box);
    return box;
}

} // namespace norvane
