#pragma once

#include "core/AppLanguage.h"

#include <juce_core/juce_core.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace norvane
{

/** The instrument families a layer can play. Raw values 0–5 are stored in patches. */
enum class InstrumentCategory : int
{
    piano = 0,
    electricPiano = 1,
    harpsichord = 2,
    organ = 3,
    strings = 4,
    pad = 5
};

inline constexpr InstrumentCategory allInstrumentCategories[] = {
    InstrumentCategory::piano, InstrumentCategory::electricPiano, InstrumentCategory::harpsichord,
    InstrumentCategory::organ, InstrumentCategory::strings,       InstrumentCategory::pad};

/** The category with that raw value, or nothing for a value outside 0–5. */
std::optional<InstrumentCategory> instrumentCategoryFromRaw(int raw);

std::string displayName(InstrumentCategory category, AppLanguage language);

/** One built-in sound: a program of the General MIDI bank, or a preset of the sampled bank. */
struct SoundVariant
{
    std::uint8_t program = 0;
    std::string nameES;
    std::string nameEN;
    /** Absolute path of the sampled bank this sound comes from; empty = the layer's GM bank. */
    std::optional<std::string> customBankPath;

    /** "gm#48", or the sampled bank's file name, "#", program ("SampledInstruments.sf2#7"). */
    std::string id() const;

    std::string name(AppLanguage language) const
    {
        return language == AppLanguage::spanish ? nameES : nameEN;
    }

    bool operator==(const SoundVariant&) const = default;
};

/** A layer's built-in label: "Drone Pad" for the drone layer's slot "Drone", otherwise
    "Capa " / "Layer " + slot ("Capa A", "Layer B"). */
std::string layerLabel(const std::string& slot, AppLanguage language);

/** The sampled SoundFont in the application folder, looked up once per run. */
const std::optional<std::string>& sampledBankPath();

/** The sampled SoundFont in `folder`: "SampledInstruments.sf2", else "RazidirAzovadirev.sf2",
    else nothing. */
std::optional<std::string> findSampledBank(const juce::File& folder);

/** The category's sounds in menu order, with or without the sampled bank. */
std::vector<SoundVariant> variants(InstrumentCategory category,
                                   const std::optional<std::string>& sampledBank);

/** The category's sounds for this run. */
inline std::vector<SoundVariant> variants(InstrumentCategory category)
{
    return variants(category, sampledBankPath());
}

} // namespace norvane
