#include "store/AppData.h"

#include <cstdlib>

namespace norvane
{

juce::File AppData::directory()
{
    const char* xdg = std::getenv("XDG_DATA_HOME");
    juce::File base;
    if (xdg != nullptr && *xdg != '\0' && juce::File::isAbsolutePath(xdg))
        base = juce::File(xdg);
    else
        base = juce::File::getSpecialLocation(juce::File::userHomeDirectory)
                   .getChildFile(".local")
                   .getChildFile("share");
    return base.getChildFile("Norvane");
}

} // namespace norvane
