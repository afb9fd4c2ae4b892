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

/** Reads the keys of one object for a decoder: a missing key or null is absent, and a value
    of the wrong kind spoils the whole document (`ok` becomes false). */
struct JsonReader
{
    const juce::DynamicObject& object;
    bool ok = true;

    const juce::var& raw(const char* key) const { return object.getProperty(key); }
    static bool isAbsent(const juce::var& v) { return v.isVoid() || v.isUndefined(); }

    template <typename T> T required(const char* key, std::optional<T> (*read)(const juce::var&))
    {
        auto value = isAbsent(raw(key)) ? std::nullopt : read(raw(key));
        ok = ok && value.has_value();
        return value.value_or(T{});
    }

    template <typename T>
    std::optional<T> optional(const char* key, std::optional<T> (*read)(const juce::var&))
    {
        if (isAbsent(raw(key)))
            return std::nullopt;
        auto value = read(raw(key));
        ok = ok && value.has_value();
        return value;
    }
};

/** The value as one kind, or nothing for any other kind: numbers must be finite, integers
    whole and within int. */
std::optional<bool> asBool(const juce::var& v);
std::optional<double> asDouble(const juce::var& v);
std::optional<int> asInt(const juce::var& v);
std::optional<std::string> asString(const juce::var& v);

} // namespace norvane
