#pragma once

#include "core/AppLanguage.h"
#include "core/Observable.h"

#include <string>

namespace norvane
{

class UserDefaults;

/** The interface language of the whole program, remembered between runs under "AppLanguage"
    ("es" or "en"). Without a stored choice the system's preferred language decides: Spanish
    when it begins with "es", English otherwise.

    Message thread only.
*/
class Localization final : public ObservableObject
{
public:
    /** `preferredLanguage`: the system's first preferred language, such as "es_ES.UTF-8" or
        "en"; see systemPreferredLanguage(). */
    Localization(UserDefaults& defaults, const std::string& preferredLanguage);

    static Localization& shared();

    Published<AppLanguage> language{*this, AppLanguage::english};

    void toggle();

    /** The first non-empty of LANGUAGE (its first entry), LC_ALL, LC_MESSAGES and LANG. */
    static std::string systemPreferredLanguage();

    static constexpr const char* key = "AppLanguage";
};

} // namespace norvane
