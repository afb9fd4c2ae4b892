#pragma once

#include "catalog/InstrumentCategory.h"
#include "ui/Look.h"

#include <array>
#include <functional>
#include <memory>

namespace norvane
{

class AudioEngine;
class CustomNames;
class PluginLibrary;
class RenamePopover;
class LayerActions;
class StepperRow;
class SoundLayer;

/** The full editor of one instrument layer, a card of its own: its name (with a menu to rename
    it), the power switch, the category and sound menus, the volume, and six sections that open
    and close — EQ, compression, reverb and envelope, damper noise, key range, pitch and
    velocity. Every control writes a published value of the layer, whose own handlers apply it
    to the sound; the card follows the layer, the names, the plug-in slots, the language and
    the theme as they change.

    Message thread only.
*/
class LayerControlView final : public juce::Component
{
public:
    enum class Section
    {
        eq,
        compression,
        reverb,
        damper,
        keyRange,
        pitch
    };

    static constexpr int idealWidth = 330;

    LayerControlView(const ViewContext& context, SoundLayer& layer, AudioEngine& audioEngine,
                     CustomNames& customNames, PluginLibrary& pluginLibrary, bool allowDisable);
    ~LayerControlView() override;

    /** The height that shows the card with its current sections open, at its current width
        (or idealWidth before it has one). */
    int idealHeight() const;
    /** Called after the card has taken a new ideal height (a section opened or closed, an
        error line came or went). The card has resized itself by then. */
    std::function<void()> onHeightChanged;

    void setExpanded(Section section, bool shouldBe);
    bool isExpanded(Section section) const;
    juce::String sectionTitle(Section section) const;

    juce::PopupMenu categoryMenu();
    juce::PopupMenu variantMenu();
    /** The layer name's context menu: rename, and restore while a custom name exists. */
    juce::PopupMenu layerNameMenu();
    juce::String categoryButtonText() const;
    juce::String variantButtonText() const;
    juce::String layerNameText() const;

    /** The rename dialogs, as the menus open them (shown by the caller or a test). */
    std::unique_ptr<RenamePopover> makeLayerRenamePopover();
    std::unique_ptr<RenamePopover> makeSoundRenamePopover();

    /** The pitch section's steppers, as their − and + buttons step them. */
    void stepTranspose(int delta);
    void stepOctave(int delta);
    juce::String transposeText() const;
    juce::String octaveText() const;
    bool canStepTranspose(int delta) const;
    bool canStepOctave(int delta) const;

    bool hasPowerSwitch() const { return allowDisable; }
    /** The red line: the layer's load error, or empty. */
    juce::String errorText() const;

    void resized() override;
    void paint(juce::Graphics& g) override;
    void mouseDown(const juce::MouseEvent& event) override;

private:
    struct RangeRow;
    struct SectionHeader;
    struct SectionView;

    void build();
    void refresh();
    void updateHeight();
    bool stacksSoundMenus(int width) const;
    juce::String soundName() const;
    SectionView& section(Section which) const;

    const ViewContext& context;
    SoundLayer& layer;
    AudioEngine& audioEngine;
    CustomNames& customNames;
    PluginLibrary& pluginLibrary;
    const bool allowDisable;

    juce::Label nameLabel, errorLabel;
    SwitchButton powerSwitch;
    MenuPill categoryPill, variantPill;
    LeavesMenuClicks<juce::Slider> volumeSlider;
    juce::Rectangle<float> quietIcon, loudIcon;
    std::array<std::unique_ptr<SectionView>, 6> sections;
    StepperRow* transposeRow = nullptr;
    StepperRow* octaveRow = nullptr;
    std::unique_ptr<LayerActions> actions;
    int lastIdealHeight = 0;
    ModelWatch watch;
};

} // namespace norvane
