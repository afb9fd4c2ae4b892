#pragma once

#include <juce_data_structures/juce_data_structures.h>

#include <optional>
#include <string>

namespace norvane
{

/** Small settings that are not documents: the language, the time of the last update check,
    the theme. A properties file in $XDG_CONFIG_HOME/Norvane (default ~/.config/Norvane),
    saved at each change.

    Message thread only.
*/
class UserDefaults
{
public:
    /** The settings in `file`. */
    explicit UserDefaults(const juce::File& file);

    /** The user's settings file. */
    static UserDefaults& standard();
    static juce::File standardFile();

    std::optional<std::string> string(const std::string& key) const;
    void setString(const std::string& key, const std::string& value);

    /** A point in time, kept as milliseconds since 1970. */
    std::optional<juce::Time> date(const std::string& key) const;
    void setDate(const std::string& key, juce::Time value);

    void remove(const std::string& key);

private:
    juce::PropertiesFile properties;
};

} // namespace norvane
