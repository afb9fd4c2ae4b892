#include "store/Localization.h"

#include "store/UserDefaults.h"

#include <cstdlib>

namespace norvane
{

Localization::Localization(UserDefaults& defaults, const std::string& preferredLanguage)
{
    const auto stored = defaults.string(key);
    if (stored == "es")
        language = AppLanguage::spanish;
    else if (stored == "en")
        language = AppLanguage::english;
    else
        language =
            preferredLanguage.starts_with("es") ? AppLanguage::spanish : AppLanguage::english;

    // Stored from now on, at each change; nothing is written at start-up.
    language.setDidChange([&defaults, this](const AppLanguage&)
                          { defaults.setString(key, std::string(rawValue(language.get()))); });
}

Localization& Localization::shared()
{
    static Localization localization(UserDefaults::standard(), systemPreferredLanguage());
    return localization;
}

void Localization::toggle()
{
    language = language.get() == AppLanguage::spanish ? AppLanguage::english : AppLanguage::spanish;
}

std::string Localization::systemPreferredLanguage()
{
    for (const char* name : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"})
    {
        const char* value = std::getenv(name);
        if (value == nullptr || *value == '\0')
            continue;
        std::string text(value);
        if (std::string(name) == "LANGUAGE")
            text = text.substr(0, text.find(':')); // a list: its first entry
        if (!text.empty())
            return text;
    }
    return {};
}

} // namespace norvane
