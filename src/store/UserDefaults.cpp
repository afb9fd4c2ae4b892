#include "store/UserDefaults.h"

#include <cstdlib>

namespace norvane
{

namespace
{

juce::PropertiesFile::Options optionsFor(const juce::File& file)
{
    juce::PropertiesFile::Options options;
    options.applicationName = file.getFileNameWithoutExtension();
    options.filenameSuffix = file.getFileExtension();
    options.folderName = file.getParentDirectory().getFullPathName();
    options.storageFormat = juce::PropertiesFile::storeAsXML;
    options.millisecondsBeforeSaving = 0; // saved at each change
    return options;
}

} // namespace

UserDefaults::UserDefaults(const juce::File& file) : properties(file, optionsFor(file)) {}

juce::File UserDefaults::standardFile()
{
    const char* config = std::getenv("XDG_CONFIG_HOME");
    const auto base =
        config != nullptr && *config == '/'
            ? juce::File(juce::String::fromUTF8(config))
            : juce::File::getSpecialLocation(juce::File::userHomeDirectory).getChildFile(".config");
    return base.getChildFile("Norvane").getChildFile("Norvane.settings");
}

UserDefaults& UserDefaults::standard()
{
    static UserDefaults defaults(standardFile());
    return defaults;
}

std::optional<std::string> UserDefaults::string(const std::string& key) const
{
    if (!properties.containsKey(key))
        return std::nullopt;
    return properties.getValue(key).toStdString();
}

void UserDefaults::setString(const std::string& key, const std::string& value)
{
    properties.setValue(key, juce::String::fromUTF8(value.c_str()));
    properties.saveIfNeeded();
}

std::optional<juce::Time> UserDefaults::date(const std::string& key) const
{
    const auto text = string(key);
    if (!text || text->empty() || !juce::String(*text).containsOnly("-0123456789"))
        return std::nullopt;
    return juce::Time(juce::String(*text).getLargeIntValue());
}

void UserDefaults::setDate(const std::string& key, juce::Time value)
{
    setString(key, std::to_string(value.toMilliseconds()));
}

void UserDefaults::remove(const std::string& key)
{
    properties.removeValue(key);
    properties.saveIfNeeded();
}

} // namespace norvane
