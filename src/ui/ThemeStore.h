#pragma once

#include "core/AppLanguage.h"
#include "core/Observable.h"

#include <juce_graphics/juce_graphics.h>

#include <array>
#include <optional>
#include <string>
#include <utility>

namespace norvane
{

class UserDefaults;

/** The window's ground. */
enum class BackgroundStyle
{
    forest,
    midnight,
    charcoal,
    pureBlack,
    sage,
    paper,
    mist,
    image
};

std::string_view rawValue(BackgroundStyle style);
std::optional<BackgroundStyle> backgroundStyleFromRaw(std::string_view raw);
std::string name(BackgroundStyle style, AppLanguage language);
bool isLight(BackgroundStyle style);
juce::Colour groundColour(BackgroundStyle style);
juce::Colour panelColour(BackgroundStyle style);
/** Top, then bottom. */
std::pair<juce::Colour, juce::Colour> rackGradientColours(BackgroundStyle style);

/** Every style but the photo, in order: the appearance panel's swatches. */
inline constexpr std::array<BackgroundStyle, 7> backgroundSwatches{
    BackgroundStyle::forest,    BackgroundStyle::midnight, BackgroundStyle::charcoal,
    BackgroundStyle::pureBlack, BackgroundStyle::sage,     BackgroundStyle::paper,
    BackgroundStyle::mist};

/** Three accent colours with a name. */
struct AccentPreset
{
    std::string id, nameES, nameEN;
    juce::Colour accent, accentRoot, accentTertiary;
};

/** The program's colours: three accents (a preset, or derived from one custom colour) and the
    window's ground (seven solid styles or a photo under an adjustable veil). Choices are kept
    under "ThemeSettings" in the user's settings, the photo as "Background.png" in the
    application folder.

    Message thread only.
*/
class ThemeStore final : public ObservableObject
{
public:
    ThemeStore(UserDefaults& defaults, juce::File folder);

    static ThemeStore& shared();

    static const std::array<AccentPreset, 7>& presets();

    Published<juce::Colour> accent{*this, {}};
    Published<juce::Colour> accentRoot{*this, {}};
    Published<juce::Colour> accentTertiary{*this, {}};
    Published<BackgroundStyle> backgroundStyle{*this, BackgroundStyle::forest};
    Published<std::optional<std::string>> selectedPresetID{*this, std::nullopt};
    Published<int> revision{*this, 0};
    Published<double> imageScrim{*this, 0.72}; ///< 0…0.95

    const juce::Image& backgroundImage() const { return photo; }

    void select(const AccentPreset& preset);
    void setCustomAccent(juce::Colour colour);
    /** Re-encodes the picture as "Background.png" and shows it; false when it cannot be read
        or stored, leaving everything as it was. */
    bool chooseBackgroundImage(const juce::File& file);
    void clearBackgroundImage();
    void setImageScrim(double value);
    /** A swatch of the appearance panel. */
    void setBackgroundStyle(BackgroundStyle style);
    /** The brand's colours and ground again. */
    void restoreBrandColours();

    juce::File photoFile() const { return folder.getChildFile("Background.png"); }

    static constexpr const char* key = "ThemeSettings";

private:
    void persist();
    void changed();

    UserDefaults& defaults;
    juce::File folder;
    juce::Image photo;
};

/** Text colours that follow the ground: light text on dark styles, dark text on light ones. */
namespace Theme
{
juce::Colour textPrimary(const ThemeStore& store);
juce::Colour textSecondary(const ThemeStore& store);
/** From the root accent at the top of `area` to the main accent at its bottom. */
juce::ColourGradient accentTextGradient(const ThemeStore& store, juce::Rectangle<float> area);
} // namespace Theme

} // namespace norvane
