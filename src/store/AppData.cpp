#include "store/AppData.h"

#include <cstdlib>

namespace norvane
{

juce::File AppData::dataHome()
{
    const char* xdg = std::getenv("XDG_DATA_HOME");
    if (xdg != nullptr && *xdg != '\0' && juce::File::isAbsolutePath(xdg))
        return juce::File(xdg);
    return juce::File::getSpecialLocation(juce::File::userHomeDirectory)
        .getChildFile(".local")
        .getChildFile("share");
}

juce::File AppData::locate(const juce::File& base)
{
    const auto target = base.getChildFile("Norvane");
    if (!target.exists())
    {
        // The program's earlier names: the first one found is taken over, with all its files.
        for (auto* older : {"Keldmoor", "Vantrel"})
        {
            const auto folder = base.getChildFile(older);
            if (folder.isDirectory())
            {
                folder.moveFileTo(target);
                break;
            }
        }
    }
    target.createDirectory();
    return target;
}

juce::File AppData::directory()
{
    static const juce::File folder = locate(dataHome());
    return folder;
}

} // namespace norvane
