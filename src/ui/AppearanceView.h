#pragma once

#include "ui/Look.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <memory>
#include <optional>
#include <vector>

namespace norvane
{

/** The colours popover: accent presets, a custom accent, the ground's style and the
    background photo with its veil. Every change is kept at once. */
class AppearanceView final : public juce::Component
{
public:
    explicit AppearanceView(const ViewContext& context);
    ~AppearanceView() override;

    static constexpr int width = 380;

    void paint(juce::Graphics& g) override;
    void resized() override;
    void mouseUp(const juce::MouseEvent& event) override;

    /** Loads the photo as the chooser would; sets or clears the error text. */
    void useImage(const juce::File& file);
    std::optional<juce::String> imageError() const { return errorText; }
    /** Texts of the buttons, as shown. */
    juce::String imageButtonText() const { return imageButton.getButtonText(); }
    bool showsImageControls() const { return removeButton.isVisible(); }

    juce::Rectangle<int> presetArea(size_t index) const;
    juce::Rectangle<int> swatchArea(size_t index) const;

private:
    void refresh();
    void chooseImage();
    void chooseCustomColour();
    int layoutHeight() const;

    const ViewContext& context;
    ModelWatch watch;
    PillButton customButton, restoreButton, imageButton, removeButton;
    juce::Slider veil;
    juce::Label veilCaption, errorLabel;
    std::optional<juce::String> errorText;
    std::unique_ptr<juce::FileChooser> chooser;
    juce::Colour customColour{0xff3887ff};
};

} // namespace norvane
