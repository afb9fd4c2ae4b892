#include "store/Json.h"

#include <charconv>
#include <climits>
#include <cmath>

namespace norvane
{

namespace
{

void appendString(std::string& out, const juce::String& text)
{
    out += '"';
    for (const char* p = text.toRawUTF8(); *p != '\0'; ++p)
    {
        const auto c = static_cast<unsigned char>(*p);
        switch (c)
        {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\b':
            out += "\\b";
            break;
        case '\f':
            out += "\\f";
            break;
        default:
            if (c < 0x20)
            {
                char escaped[8];
                std::snprintf(escaped, sizeof(escaped), "\\u%04x", c);
                out += escaped;
            }
            else
            {
                out += (char)c;
            }
        }
    }
    out += '"';
}

void appendNumber(std::string& out, double d)
{
    if (!std::isfinite(d))
    {
        out += "0";
        return;
    }
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof(buffer), d); // shortest round trip
    out.append(buffer, result.ptr);
}

void append(std::string& out, const juce::var& v)
{
    if (v.isVoid() || v.isUndefined())
    {
        out += "null";
    }
    else if (v.isBool())
    {
        out += (bool)v ? "true" : "false";
    }
    else if (v.isInt() || v.isInt64())
    {
        out += std::to_string((juce::int64)v);
    }
    else if (v.isDouble())
    {
        appendNumber(out, (double)v);
    }
    else if (v.isString())
    {
        appendString(out, v.toString());
    }
    else if (v.isArray())
    {
        out += '[';
        bool first = true;
        for (const auto& item : *v.getArray())
        {
            if (!first)
                out += ',';
            first = false;
            append(out, item);
        }
        out += ']';
    }
    else if (auto* object = v.getDynamicObject())
    {
        out += '{';
        bool first = true;
        for (const auto& property : object->getProperties())
        {
            if (property.value.isVoid() || property.value.isUndefined())
                continue;
            if (!first)
                out += ',';
            first = false;
            appendString(out, property.name.toString());
            out += ':';
            append(out, property.value);
        }
        out += '}';
    }
    else
    {
        out += "null";
    }
}

} // namespace

std::string toCompactJson(const juce::var& value)
{
    std::string out;
    append(out, value);
    return out;
}

namespace
{

/** Whether arrays and objects nest deeper than `limit` anywhere (strings skipped). The
    parser recurses once per level, so a damaged file of brackets would exhaust the stack. */
bool nestsDeeperThan(const std::string& text, int limit)
{
    int depth = 0;
    bool inString = false, escaped = false;
    for (char c : text)
    {
        if (inString)
        {
            if (escaped)
                escaped = false;
            else if (c == '\\')
                escaped = true;
            else if (c == '"')
                inString = false;
            continue;
        }
        if (c == '"')
            inString = true;
        else if (c == '[' || c == '{')
        {
            if (++depth > limit)
                return true;
        }
        else if (c == ']' || c == '}')
            --depth;
    }
    return false;
}

} // namespace

std::optional<juce::var> parseJson(const std::string& text)
{
    if (nestsDeeperThan(text, maximumJsonDepth))
        return std::nullopt;
    juce::var result;
    if (juce::JSON::parse(juce::String::fromUTF8(text.data(), (int)text.size()), result).failed())
        return std::nullopt;
    return result;
}

std::optional<std::map<std::string, std::string>> stringMapFrom(const juce::var& value)
{
    std::map<std::string, std::string> map;
    if (value.isVoid() || value.isUndefined())
        return map;
    auto* object = value.getDynamicObject();
    if (object == nullptr)
        return std::nullopt;
    for (const auto& property : object->getProperties())
    {
        if (!property.value.isString())
            return std::nullopt;
        map[property.name.toString().toStdString()] = property.value.toString().toStdString();
    }
    return map;
}

juce::var toJsonObject(const std::map<std::string, std::string>& map)
{
    auto object = juce::DynamicObject::Ptr(new juce::DynamicObject());
    for (const auto& [key, value] : map)
        object->setProperty(juce::Identifier(juce::String::fromUTF8(key.c_str())),
                            juce::String::fromUTF8(value.c_str()));
    return juce::var(object.get());
}

std::optional<bool> asBool(const juce::var& v)
{
    return v.isBool() ? std::optional<bool>((bool)v) : std::nullopt;
}

std::optional<double> asDouble(const juce::var& v)
{
    if (!(v.isInt() || v.isInt64() || v.isDouble()))
        return std::nullopt;
    const double d = v;
    return std::isfinite(d) ? std::optional<double>(d) : std::nullopt;
}

std::optional<int> asInt(const juce::var& v)
{
    if (v.isInt())
        return (int)v;
    const auto d = asDouble(v);
    if (!d || *d != std::floor(*d) || *d < INT_MIN || *d > INT_MAX)
        return std::nullopt;
    return (int)*d;
}

std::optional<std::string> asString(const juce::var& v)
{
    return v.isString() ? std::optional<std::string>(v.toString().toStdString()) : std::nullopt;
}

} // namespace norvane
