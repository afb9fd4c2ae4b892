#include "ui/ThemeStore.h"

#include "core/Bounded.h"
#include "core/MessageThread.h"
#include "store/AppData.h"
#include "store/Json.h"
#include "store/StoredFile.h"
#include "store/UserDefaults.h"

#include <cmath>

namespace norvane
{

namespace
{

juce::Colour rgb(double r, double g, double b)
{
    return juce::Colour::fromFloatRGBA((float)r, (float)g, (float)b, 1.0f);
}

struct StyleRow
{
    BackgroundStyle style;
    const char *raw, *nameES, *nameEN;
    juce::Colour ground, panel, rackTop, rackBottom;
};

const std::array<StyleRow, 8>& styleRows()
{
    static const std::array<StyleRow, 8> rows{{
        {BackgroundStyle::forest, "forest", "Bosque", "Forest", rgb(0.02, 0.075, 0.052),
         rgb(0.039, 0.125, 0.088), rgb(0.031, 0.105, 0.072), rgb(0.012, 0.048, 0.033)},
        {BackgroundStyle::midnight, "midnight", "Medianoche", "Midnight", rgb(0.035, 0.045, 0.07),
         rgb(0.07, 0.09, 0.14), rgb(0.05, 0.065, 0.09), rgb(0.015, 0.02, 0.032)},
        {BackgroundStyle::charcoal, "charcoal", "Carbón", "Charcoal", rgb(0.055, 0.055, 0.06),
         rgb(0.1, 0.1, 0.11), rgb(0.075, 0.075, 0.08), rgb(0.025, 0.025, 0.028)},
        {BackgroundStyle::pureBlack, "pureBlack", "Negro", "Black", rgb(0, 0, 0),
         rgb(0.06, 0.06, 0.065), rgb(0.05, 0.05, 0.055), rgb(0, 0, 0)},
        {BackgroundStyle::sage, "sage", "Salvia", "Sage", rgb(0.898, 0.933, 0.831),
         rgb(0.976, 0.988, 0.949), rgb(0.984, 0.996, 0.965), rgb(0.925, 0.953, 0.871)},
        {BackgroundStyle::paper, "paper", "Papel", "Paper", rgb(0.965, 0.957, 0.929), rgb(1, 1, 1),
         rgb(1, 1, 1), rgb(0.949, 0.941, 0.914)},
        {BackgroundStyle::mist, "mist", "Niebla", "Mist", rgb(0.918, 0.929, 0.937),
         rgb(0.988, 0.992, 1.0), rgb(1, 1, 1), rgb(0.918, 0.929, 0.941)},
        // The photo's ground, seen while it loads and around it, is the forest's.
        {BackgroundStyle::image, "image", "Imagen", "Image", rgb(0.02, 0.075, 0.052),
         rgb(0.039, 0.125, 0.088), rgb(0.031, 0.105, 0.072), rgb(0.012, 0.048, 0.033)},
    }};
    return rows;
}

const StyleRow& row(BackgroundStyle style)
{
    return styleRows()[(size_t)style];
}

} // namespace

std::string_view rawValue(BackgroundStyle style)
{
    return row(style).raw;
}

std::optional<BackgroundStyle> backgroundStyleFromRaw(std::string_view raw)
{
    for (const auto& r : styleRows())
        if (raw == r.raw)
            return r.style;
    return std::nullopt;
}

std::string name(BackgroundStyle style, AppLanguage language)
{
    return localized(language, row(style).nameES, row(style).nameEN);
}

bool isLight(BackgroundStyle style)
{
    return style == BackgroundStyle::sage || style == BackgroundStyle::paper ||
           style == BackgroundStyle::mist;
}

juce::Colour groundColour(BackgroundStyle style)
{
    return row(style).ground;
}

juce::Colour panelColour(BackgroundStyle style)
{
    return row(style).panel;
}

std::pair<juce::Colour, juce::Colour> rackGradientColours(BackgroundStyle style)
{
    return {row(style).rackTop, row(style).rackBottom};
}

const std::array<AccentPreset, 7>& ThemeStore::presets()
{
    static const std::array<AccentPreset, 7> list{{
        {"lima", "Lima", "Lime", rgb(0.804, 0.91, 0.439), rgb(0.89, 0.96, 0.62),
         rgb(0.44, 0.78, 0.44)},
        {"azul", "Azul", "Blue", rgb(0.22, 0.53, 1.0), rgb(0.3, 0.78, 1.0), rgb(0.42, 0.48, 0.98)},
        {"purpura", "Púrpura", "Purple", rgb(0.62, 0.4, 1.0), rgb(0.78, 0.55, 1.0),
         rgb(0.48, 0.34, 0.9)},
        {"esmeralda", "Esmeralda", "Emerald", rgb(0.15, 0.78, 0.55), rgb(0.35, 0.9, 0.65),
         rgb(0.1, 0.6, 0.55)},
        {"ambar", "Ámbar", "Amber", rgb(1.0, 0.68, 0.2), rgb(1.0, 0.82, 0.4),
         rgb(0.92, 0.52, 0.18)},
        {"rojo", "Rojo", "Red", rgb(0.98, 0.32, 0.32), rgb(1.0, 0.52, 0.45), rgb(0.85, 0.25, 0.45)},
        {"rosa", "Rosa", "Pink", rgb(0.95, 0.42, 0.75), rgb(1.0, 0.6, 0.85), rgb(0.75, 0.35, 0.85)},
    }};
    return list;
}

ThemeStore::ThemeStore(UserDefaults& d, juce::File folderIn)
    : defaults(d), folder(std::move(folderIn))
{
    imageScrim.setClamp(within(0.0, 0.95, 0.72));

    const auto& first = presets().front();
    accent = first.accent;
    accentRoot = first.accentRoot;
    accentTertiary = first.accentTertiary;
    selectedPresetID = first.id;

    // The stored choices; anything that does not read is left at its default.
    const auto stored = defaults.string(key);
    const auto json = stored ? parseJson(*stored) : std::nullopt;
    if (auto* o = json ? json->getDynamicObject() : nullptr)
    {
        if (const auto& b = o->getProperty("background"); b.isString())
            if (auto style = backgroundStyleFromRaw(b.toString().toStdString()))
                backgroundStyle = *style;
        if (const auto& v = o->getProperty("imageScrim"); v.isDouble() || v.isInt() || v.isInt64())
            imageScrim = (double)v;

        const auto& id = o->getProperty("presetID");
        const auto preset =
            std::find_if(presets().begin(), presets().end(),
                         [&](const AccentPreset& p)
                         { return id.isString() && id.toString() == juce::String(p.id); });
        const auto& custom = o->getProperty("customRGB");
        if (preset != presets().end())
        {
            accent = preset->accent;
            accentRoot = preset->accentRoot;
            accentTertiary = preset->accentTertiary;
            selectedPresetID = preset->id;
        }
        else if (custom.isArray() && custom.size() == 3)
        {
            double c[3] = {};
            bool numbers = true;
            for (int i = 0; i < 3; ++i)
            {
                numbers =
                    numbers && (custom[i].isDouble() || custom[i].isInt() || custom[i].isInt64());
                c[i] = std::clamp((double)custom[i], 0.0, 1.0);
            }
            if (numbers)
                setCustomAccent(rgb(c[0], c[1], c[2]));
        }
    }

    photo = juce::ImageFileFormat::loadFrom(photoFile());
    if (backgroundStyle.get() == BackgroundStyle::image && !photo.isValid())
        backgroundStyle = BackgroundStyle::forest;
    revision = 0;
}

ThemeStore& ThemeStore::shared()
{
    static ThemeStore store(UserDefaults::standard(), AppData::directory());
    return store;
}

void ThemeStore::changed()
{
    persist();
    revision = revision.get() + 1;
}

void ThemeStore::select(const AccentPreset& preset)
{
    accent = preset.accent;
    accentRoot = preset.accentRoot;
    accentTertiary = preset.accentTertiary;
    selectedPresetID = preset.id;
    changed();
}

void ThemeStore::setCustomAccent(juce::Colour colour)
{
    colour = colour.withAlpha(1.0f);
    const float h = colour.getHue(), s = colour.getSaturation(), b = colour.getBrightness();
    accent = colour;
    accentRoot =
        juce::Colour::fromHSV(h, std::max(0.0f, s - 0.25f), std::min(1.0f, b + 0.2f), 1.0f);
    float tertiaryHue = h - 0.08f;
    if (tertiaryHue < 0.0f)
        tertiaryHue += 1.0f;
    accentTertiary = juce::Colour::fromHSV(tertiaryHue, s, std::max(0.0f, b - 0.08f), 1.0f);
    selectedPresetID = std::nullopt;
    changed();
}

bool ThemeStore::chooseBackgroundImage(const juce::File& file)
{
    NORVANE_ASSERT_MESSAGE_THREAD;
    const auto image = juce::ImageFileFormat::loadFrom(file);
    if (!image.isValid())
        return false;
    juce::MemoryOutputStream png;
    if (!juce::PNGImageFormat().writeImageToStream(image, png))
        return false;
    if (!writeFileAtomically(photoFile(),
                             std::string_view((const char*)png.getData(), png.getDataSize())))
        return false;
    photo = image;
    backgroundStyle = BackgroundStyle::image;
    changed();
    return true;
}

void ThemeStore::clearBackgroundImage()
{
    photoFile().deleteFile();
    photo = {};
    if (backgroundStyle.get() == BackgroundStyle::image)
        backgroundStyle = BackgroundStyle::forest;
    persist();
    sendWillChange();
}

void ThemeStore::setImageScrim(double value)
{
    imageScrim = value;
    changed();
}

void ThemeStore::setBackgroundStyle(BackgroundStyle style)
{
    backgroundStyle = style;
    changed();
}

void ThemeStore::restoreBrandColours()
{
    const auto& first = presets().front();
    accent = first.accent;
    accentRoot = first.accentRoot;
    accentTertiary = first.accentTertiary;
    selectedPresetID = first.id;
    backgroundStyle = BackgroundStyle::forest;
    changed();
}

void ThemeStore::persist()
{
    auto* o = new juce::DynamicObject();
    if (const auto& id = selectedPresetID.get())
        o->setProperty("presetID", juce::String(*id));
    else
    {
        const auto c = accent.get();
        o->setProperty("customRGB",
                       juce::Array<juce::var>{(double)c.getFloatRed(), (double)c.getFloatGreen(),
                                              (double)c.getFloatBlue()});
    }
    o->setProperty("background", juce::String(std::string(rawValue(backgroundStyle.get()))));
    o->setProperty("imageScrim", imageScrim.get());
    defaults.setString(key, toCompactJson(juce::var(o)));
}

namespace Theme
{

juce::Colour textPrimary(const ThemeStore& store)
{
    return isLight(store.backgroundStyle.get()) ? rgb(0.04, 0.14, 0.09)
                                                : juce::Colours::white.withAlpha(0.95f);
}

juce::Colour textSecondary(const ThemeStore& store)
{
    return isLight(store.backgroundStyle.get()) ? rgb(0.04, 0.14, 0.09).withAlpha(0.62f)
                                                : juce::Colours::white.withAlpha(0.55f);
}

juce::ColourGradient accentTextGradient(const ThemeStore& store, juce::Rectangle<float> area)
{
    return juce::ColourGradient(store.accentRoot.get(), area.getX(), area.getY(),
                                store.accent.get(), area.getX(), area.getBottom(), false);
}

} // namespace Theme

} // namespace norvane
