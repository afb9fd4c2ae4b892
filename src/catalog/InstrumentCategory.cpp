#include "catalog/InstrumentCategory.h"

#include "store/AppData.h"

namespace norvane
{

std::optional<InstrumentCategory> instrumentCategoryFromRaw(int raw)
{
    if (raw < 0 || raw > 5)
        return std::nullopt;
    return static_cast<InstrumentCategory>(raw);
}

std::string displayName(InstrumentCategory category, AppLanguage language)
{
    switch (category)
    {
    case InstrumentCategory::piano:
        return "Piano";
    case InstrumentCategory::electricPiano:
        return localized(language, "Piano eléctrico", "Electric Piano");
    case InstrumentCategory::harpsichord:
        return localized(language, "Teclados clásicos", "Classic Keys");
    case InstrumentCategory::organ:
        return localized(language, "Órgano", "Organ");
    case InstrumentCategory::strings:
        return localized(language, "Cuerdas y pads", "Strings & Pads");
    case InstrumentCategory::pad:
        return "Drone Pad";
    }
    return {};
}

std::string layerLabel(const std::string& slot, AppLanguage language)
{
    if (slot == "Drone")
        return "Drone Pad";
    return localized(language, "Capa ", "Layer ") + slot;
}

std::string SoundVariant::id() const
{
    std::string prefix = "gm";
    if (customBankPath)
    {
        auto slash = customBankPath->find_last_of('/');
        prefix = slash == std::string::npos ? *customBankPath : customBankPath->substr(slash + 1);
    }
    return prefix + "#" + std::to_string(program);
}

std::optional<std::string> findSampledBank(const juce::File& folder)
{
    for (auto* name : {"SampledInstruments.sf2", "RazidirAzovadirev.sf2"})
    {
        auto file = folder.getChildFile(name);
        if (file.existsAsFile())
            return file.getFullPathName().toStdString();
    }
    return std::nullopt;
}

const std::optional<std::string>& sampledBankPath()
{
    // Once per run: a bank that arrives later shows in the lists after the next start.
    static const std::optional<std::string> path = findSampledBank(AppData::directory());
    return path;
}

namespace
{

SoundVariant gm(int program, const char* es, const char* en)
{
    return {static_cast<std::uint8_t>(program), es, en, std::nullopt};
}

} // namespace

std::vector<SoundVariant> variants(InstrumentCategory category,
                                   const std::optional<std::string>& sampledBank)
{
    auto sampled = [&](int program, const char* es, const char* en) {
        return SoundVariant{static_cast<std::uint8_t>(program), es, en, sampledBank};
    };

    std::vector<SoundVariant> list;
    switch (category)
    {
    case InstrumentCategory::piano:
        if (sampledBank)
            list.push_back(sampled(0, "Piano de concierto", "Concert Grand"));
        list.push_back(gm(0, "Piano de cola", "Grand Piano"));
        list.push_back(gm(1, "Piano brillante", "Bright Piano"));
        list.push_back(gm(2, "Piano de cola eléctrico", "Electric Grand"));
        list.push_back(gm(3, "Honky-tonk", "Honky-tonk"));
        list.push_back(gm(8, "Celesta", "Celesta"));
        break;
    case InstrumentCategory::electricPiano:
        list = {gm(4, "Rhodes", "Rhodes"), gm(5, "Eléctrico FM", "FM Electric"),
                gm(7, "Clavinet", "Clavinet"), gm(11, "Vibráfono", "Vibraphone"),
                gm(16, "Órgano de barras", "Drawbar Organ")};
        break;
    case InstrumentCategory::harpsichord:
        list = {gm(6, "Clavicordio", "Harpsichord"), gm(7, "Clavinet", "Clavinet"),
                gm(8, "Celesta", "Celesta"), gm(9, "Glockenspiel", "Glockenspiel"),
                gm(10, "Caja de música", "Music Box")};
        break;
    case InstrumentCategory::organ:
        list = {gm(16, "Órgano de barras", "Drawbar Organ"),
                gm(17, "Órgano percusivo", "Percussive Organ"), gm(18, "Órgano rock", "Rock Organ"),
                gm(19, "Órgano de iglesia", "Church Organ"), gm(20, "Armonio", "Reed Organ")};
        break;
    case InstrumentCategory::strings:
        if (sampledBank)
        {
            list.push_back(sampled(7, "Cuerdas orquestales", "Orchestral Strings"));
            list.push_back(sampled(1, "Pad suave", "Soft Pad"));
            list.push_back(sampled(4, "Coro", "Choir"));
            list.push_back(sampled(3, "Pad amplio", "Wide Pad"));
            list.push_back(sampled(6, "Pad apilado", "Stacked Pad"));
            list.push_back(sampled(2, "Pad brillante", "Bright Pad"));
            list.push_back(sampled(5, "Lead sintetizado", "Synth Lead"));
        }
        list.push_back(gm(48, "Cuerdas de conjunto", "String Ensemble"));
        list.push_back(gm(50, "Cuerdas sintetizadas", "Synth Strings"));
        list.push_back(gm(52, "Coro \"aahs\"", "Choir Aahs"));
        list.push_back(gm(89, "Pad cálido", "Warm Pad"));
        list.push_back(gm(94, "Pad ambiental", "Halo Pad"));
        break;
    case InstrumentCategory::pad:
        if (sampledBank)
            list = {sampled(7, "Cálido", "Warm"), sampled(6, "Etéreo", "Ethereal"),
                    sampled(4, "Coral", "Choral")};
        else
            list = {gm(89, "Cálido", "Warm"), gm(94, "Etéreo", "Ethereal"),
                    gm(91, "Coral", "Choral")};
        break;
    }
    return list;
}

} // namespace norvane
