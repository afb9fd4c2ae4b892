#pragma once

#include "store/Localization.h"
#include "store/UserDefaults.h"
#include "support/TempFolder.h"
#include "ui/ThemeStore.h"
#include "ui/ViewContext.h"

namespace norvane::test
{

/** What views are built with: settings, language (English) and theme in a folder of their own. */
struct ViewSetup
{
    TempFolder temp;
    UserDefaults defaults{temp.folder.getChildFile("Norvane.settings")};
    Localization loc{defaults, "en"};
    ThemeStore theme{defaults, temp.folder};
    ViewContext context{theme, loc};
};

} // namespace norvane::test
