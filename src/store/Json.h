#pragma once

#include <juce_core/juce_core.h>

#include <map>
#include <optional>
#include <string>

namespace norvane
{

/** JSON as the stored documents use it: compact (no spaces, no line breaks), UTF-8, object
    keys in the order the object holds them. Undefined values and void are left out of
    objects, so that optional values are omitted rather than written as null. */
std::string toCompactJson(const juce::var& value);

/** Deeper nesting than any stored document has is refused unparsed. */
inline constexpr int maximumJsonDepth = 64;

/** Parses a document; nothing when it is not valid JSON (or nests deeper than
    maximumJsonDepth). */
std::optional<juce::var> parseJson(const std::string& text);

/** A JSON object of strings, as a map; nothing when `value` is not such an object (a missing
    key or null reads as an empty map). */
std::optional<std::map<std::string, std::string>> stringMapFrom(const juce::var& value);

/** A map of strings as a JSON object, keys in sorted order. */
juce::var toJsonObject(const std::map<std::string, std::string>& map);

} // namespace norvane
