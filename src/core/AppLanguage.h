#pragma once

#include <string>
#include <string_view>

namespace norvane
{

/** The interface language. Every text a user sees exists in both languages and is chosen where
    it is shown. */
enum class AppLanguage
{
    spanish,
    english
};

inline std::string_view rawValue(AppLanguage language)
{
    return language == AppLanguage::spanish ? "es" : "en";
}

/** Picks the text for a language. */
inline std::string localized(AppLanguage language, std::string_view spanish,
                             std::string_view english)
{
    return std::string(language == AppLanguage::spanish ? spanish : english);
}

} // namespace norvane
