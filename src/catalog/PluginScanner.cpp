#include "catalog/PluginScanner.h"

#include "catalog/PluginRef.h"

#include <lilv/lilv.h>

#include <elf.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

namespace norvane
{

namespace
{

std::optional<juce::FileSearchPath> placesFromEnvironment(const juce::String& format)
{
    const char* variable = format == "LV2"    ? "NORVANE_LV2_PATH"
                           : format == "VST3" ? "NORVANE_VST3_PATH"
                                              : nullptr;
    const char* value = variable != nullptr ? std::getenv(variable) : nullptr;
    if (value == nullptr || *value == '\0')
        return std::nullopt;
    juce::FileSearchPath places;
    for (const auto& folder : juce::StringArray::fromTokens(juce::String::fromUTF8(value), ":", ""))
        if (folder.isNotEmpty())
            places.add(juce::File(folder));
    return places;
}

} // namespace

void addHostedFormats(juce::AudioPluginFormatManager& formats)
{
    formats.addDefaultFormats();
    // JUCE's LV2 host knows the plug-ins of the standard places only: the others named are
    // loaded into it too, so that their plug-ins can be made.
    for (auto* format : formats.getFormats())
        if (format->getName() == "LV2")
            if (const auto places = placesFromEnvironment("LV2"))
                format->searchPathsForPlugins(*places, true, true);
}

juce::FileSearchPath pluginPlaces(juce::AudioPluginFormat& format)
{
    return placesFromEnvironment(format.getName()).value_or(format.getDefaultLocationsToSearch());
}

namespace
{

/** Whether a library among those a plug-in's binary needs opens windows as soon as it is
    loaded or made (a Qt or GTK toolkit): such a plug-in aborts where there is no display. */
bool isToolkitLibrary(const juce::String& library)
{
    for (const char* toolkit : {"libQt5Gui.", "libQt5Widgets.", "libQt6Gui.", "libQt6Widgets.",
                                "libgtk-", "libgdk-"})
        if (library.startsWith(toolkit))
            return true;
    return false;
}

/** An LV2 plug-in's binary, named by its data. */
juce::File binaryOf(const LilvPlugin* plugin)
{
    const LilvNode* library = lilv_plugin_get_library_uri(plugin);
    if (library == nullptr)
        return {};
    char* path = lilv_file_uri_parse(lilv_node_as_uri(library), nullptr);
    if (path == nullptr)
        return {};
    const juce::File file(juce::String::fromUTF8(path));
    lilv_free(path);
    return file;
}

/** The DSP binary's needs as its declared libraries, read from its ELF file; nothing for a file
    that is not a 64-bit little-endian ELF file or is damaged. */
juce::StringArray neededLibraries(const juce::File& binary)
{
    juce::FileInputStream in(binary);
    if (!in.openedOk())
        return {};
    const auto read = [&in](juce::int64 at, void* into, size_t size)
    { return in.setPosition(at) && in.read(into, (int)size) == (int)size; };

    Elf64_Ehdr header{};
    if (!read(0, &header, sizeof header) || std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 ||
        header.e_ident[EI_CLASS] != ELFCLASS64 || header.e_ident[EI_DATA] != ELFDATA2LSB ||
        header.e_shentsize != sizeof(Elf64_Shdr) || header.e_shnum > 4096)
        return {};
    const auto section = [&](unsigned index, Elf64_Shdr& out)
    {
        return index < header.e_shnum &&
               read((juce::int64)(header.e_shoff + (Elf64_Off)index * sizeof(Elf64_Shdr)), &out,
                    sizeof out);
    };

    juce::StringArray needed;
    for (unsigned i = 0; i < header.e_shnum; ++i)
    {
        Elf64_Shdr dynamic{}, strings{};
        if (!section(i, dynamic) || dynamic.sh_type != SHT_DYNAMIC ||
            !section(dynamic.sh_link, strings) || strings.sh_size > (1u << 24) ||
            dynamic.sh_size > (1u << 20))
            continue;
        std::vector<char> names(strings.sh_size + 1, '\0');
        if (!read((juce::int64)strings.sh_offset, names.data(), strings.sh_size))
            continue;
        for (Elf64_Xword at = 0; at + sizeof(Elf64_Dyn) <= dynamic.sh_size; at += sizeof(Elf64_Dyn))
        {
            Elf64_Dyn entry{};
            if (!read((juce::int64)(dynamic.sh_offset + at), &entry, sizeof entry) ||
                entry.d_tag == DT_NULL)
                break;
            if (entry.d_tag == DT_NEEDED && entry.d_un.d_val < strings.sh_size)
                needed.add(juce::String::fromUTF8(names.data() + entry.d_un.d_val));
        }
    }
    return needed;
}

/** The LV2 classes plug-ins declare in their own data (their rdf:type), read from the places
    JUCE looks for them. JUCE learns an LV2 plug-in's class from LV2's own class definitions
    (Debian's lv2-dev), which few machines have installed; without them every LV2 plug-in would
    look like a plain plug-in and only its audio ports would tell. */
class DeclaredLv2Classes
{
public:
    /** Nothing is read for no places. */
    explicit DeclaredLv2Classes(const juce::FileSearchPath& places)
        : world(places.getNumPaths() > 0 ? lilv_world_new() : nullptr)
    {
        if (world == nullptr)
            return;
        juce::StringArray folders;
        for (int i = 0; i < places.getNumPaths(); ++i)
            folders.add(places[i].getFullPathName()); // "~" made absolute
        LilvNode* path = lilv_new_string(world, folders.joinIntoString(":").toRawUTF8());
        lilv_world_set_option(world, LILV_OPTION_LV2_PATH, path);
        lilv_node_free(path);
        lilv_world_load_all(world);
    }
    ~DeclaredLv2Classes()
    {
        if (world != nullptr)
            lilv_world_free(world);
    }

    DeclaredLv2Classes(const DeclaredLv2Classes&) = delete;
    DeclaredLv2Classes& operator=(const DeclaredLv2Classes&) = delete;

    /** The URIs of the plug-ins these places hold. */
    juce::StringArray plugins() const
    {
        juce::StringArray uris;
        if (world == nullptr)
            return uris;
        const LilvPlugins* all = lilv_world_get_all_plugins(world);
        LILV_FOREACH(plugins, i, all)
        {
            const LilvNode* uri = lilv_plugin_get_uri(lilv_plugins_get(all, i));
            uris.add(juce::String::fromUTF8(lilv_node_as_uri(uri)));
        }
        return uris;
    }

    /** Writes what `d` declares into it (see PluginRef::isInstrumentPlugin), and whether its
        binary needs a display (PluginRef::needsDisplay). */
    void describe(juce::PluginDescription& d) const
    {
        if (d.pluginFormatName != "LV2" || world == nullptr)
            return;
        LilvNode* uri = lilv_new_uri(world, d.fileOrIdentifier.toRawUTF8());
        LilvNode* type = lilv_new_uri(world, "http://www.w3.org/1999/02/22-rdf-syntax-ns#type");
        juce::StringArray classes;
        bool needsDisplay = false;
        if (const LilvPlugin* plugin =
                lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world), uri))
        {
            LilvNodes* types = lilv_plugin_get_value(plugin, type);
            LILV_FOREACH(nodes, i, types)
            {
                const juce::String name =
                    juce::String::fromUTF8(lilv_node_as_uri(lilv_nodes_get(types, i)));
                const auto local = name.fromLastOccurrenceOf("#", false, false);
                if (name.startsWith("http://lv2plug.in/ns/lv2core#") && local != "Plugin")
                    classes.add(local);
            }
            lilv_nodes_free(types);
            const auto libraries = neededLibraries(binaryOf(plugin));
            needsDisplay = std::any_of(libraries.begin(), libraries.end(), isToolkitLibrary);
        }
        lilv_node_free(type);
        lilv_node_free(uri);
        d.category = PluginRef::lv2DeclaredPrefix + classes.joinIntoString(",") +
                     (needsDisplay ? PluginRef::needsDisplayMark : "");
        d.isInstrument = classes.contains("InstrumentPlugin");
    }

private:
    LilvWorld* world;
};

/** The places an LV2 world reads: none for the other formats. */
juce::FileSearchPath lv2PlacesOf(juce::AudioPluginFormat& format)
{
    return format.getName() == "LV2" ? pluginPlaces(format) : juce::FileSearchPath();
}

} // namespace

PluginScanner::PluginScanner(juce::File scannerProgram, double stall)
    : program(std::move(scannerProgram)), stallSeconds(stall)
{
}

juce::File PluginScanner::defaultProgram()
{
    if (const char* named = std::getenv("NORVANE_PLUGIN_SCANNER"); named != nullptr && *named)
        return juce::File(juce::String::fromUTF8(named));
    return juce::File::getSpecialLocation(juce::File::currentExecutableFile)
        .getSiblingFile("norvane-plugin-scan");
}

std::vector<juce::PluginDescription> PluginScanner::scan(const ScanFeedback& feedback)
{
    failures.clear();
    juce::AudioPluginFormatManager formats;
    addHostedFormats(formats);

    // Finding the files is quick; examining them is what the progress counts.
    std::vector<std::pair<juce::AudioPluginFormat*, juce::StringArray>> work;
    int total = 0;
    for (auto* format : formats.getFormats())
    {
        const auto places = pluginPlaces(*format);
        // LV2 plug-ins are listed from a world of our own: JUCE's host has loaded the places
        // already when it was made (and addHostedFormats those named), and loading them again
        // costs the time of reading every bundle twice and loses the LV2 classes lilv knew.
        auto identifiers = format->getName() == "LV2"
                               ? DeclaredLv2Classes(places).plugins()
                               : format->searchPathsForPlugins(places, true, true);
        identifiers.sort(false);
        total += identifiers.size();
        work.emplace_back(format, std::move(identifiers));
    }

    std::vector<juce::PluginDescription> found;
    Pass pass{feedback, 0, total};
    for (auto& [format, identifiers] : work)
    {
        if (pass.cancelled())
            break;
        pass.report(0, identifiers.isEmpty() ? juce::String() : displayName(identifiers[0]));
        const int count = identifiers.size();
        scanFormat(*format, std::move(identifiers), pass, found);
        pass.before += count;
    }
    pass.report(0, {});
    return found;
}

juce::String PluginScanner::displayName(const juce::String& identifier)
{
    if (juce::File::isAbsolutePath(identifier))
        return juce::File(identifier).getFileNameWithoutExtension();
    const auto trimmed = identifier.trimCharactersAtEnd("/#");
    const auto cut = juce::jmax(trimmed.lastIndexOfChar('/'), trimmed.lastIndexOfChar('#'),
                                trimmed.lastIndexOfChar(':'));
    return cut >= 0 && cut + 1 < trimmed.length() ? trimmed.substring(cut + 1) : trimmed;
}

void PluginScanner::Pass::report(int done, const juce::String& current) const
{
    if (feedback.progress)
        feedback.progress({before + done, total, current});
}

namespace
{

struct ChildReport
{
    std::vector<juce::PluginDescription> found;
    int done = 0; // identifiers finished, from the first
};

ChildReport readReport(const juce::File& output)
{
    ChildReport report;
    juce::StringArray lines;
    lines.addLines(output.loadFileAsString());
    for (const auto& line : lines)
    {
        const auto tab = line.indexOfChar('\t');
        if (tab <= 0)
            continue; // a line the child did not finish
        const int index = line.substring(0, tab).getIntValue();
        const auto rest = line.substring(tab + 1);
        if (rest == "done")
        {
            report.done = std::max(report.done, index + 1);
            continue;
        }
        if (auto xml = juce::parseXML(rest))
        {
            juce::PluginDescription d;
            if (d.loadFromXml(*xml))
                report.found.push_back(d);
        }
    }
    return report;
}

} // namespace

void PluginScanner::scanFormat(juce::AudioPluginFormat& format, juce::StringArray identifiers,
                               const Pass& pass, std::vector<juce::PluginDescription>& found)
{
    if (identifiers.isEmpty())
        return;
    const int count = identifiers.size();
    if (!program.existsAsFile())
    {
        examineInProcess(format, identifiers, pass, 0, found);
        return;
    }

    juce::TemporaryFile temp(".scan");
    while (!identifiers.isEmpty())
    {
        const auto& output = temp.getFile();
        output.deleteFile();
        const int before = count - identifiers.size(); // examined by earlier children

        juce::StringArray command{program.getFullPathName(), output.getFullPathName(),
                                  format.getName()};
        command.addArray(identifiers);
        juce::ChildProcess child;
        ChildReport report;
        bool finished = false;
        if (!child.start(command, 0))
        {
            examineInProcess(format, identifiers, pass, before, found);
            return;
        }
        {
            // Wait while the child makes progress; a stall means a plug-in hangs.
            int lastDone = 0;
            auto lastProgress = juce::Time::getMillisecondCounterHiRes();
            while (true)
            {
                finished = child.waitForProcessToFinish(50);
                report = readReport(output);
                if (finished)
                    break;
                if (pass.cancelled())
                {
                    child.kill();
                    return;
                }
                const auto now = juce::Time::getMillisecondCounterHiRes();
                if (report.done > lastDone)
                {
                    lastDone = report.done;
                    lastProgress = now;
                    if (report.done < identifiers.size())
                        pass.report(before + report.done, displayName(identifiers[report.done]));
                }
                else if (now - lastProgress > stallSeconds * 1000.0)
                {
                    child.kill();
                    report = readReport(output);
                    break;
                }
            }
        }

        found.insert(found.end(), report.found.begin(), report.found.end());
        const bool clean = finished && child.getExitCode() == 0;
        if (clean && report.done >= identifiers.size())
            break;
        // The child died or hung on the identifier after the last it finished: skip that one.
        const int culprit = std::min(report.done, identifiers.size() - 1);
        failures.add(format.getName() + " " + identifiers[culprit]);
        identifiers.removeRange(0, culprit + 1);
        if (!identifiers.isEmpty())
            pass.report(count - identifiers.size(), displayName(identifiers[0]));
    }
}

void PluginScanner::examineInProcess(juce::AudioPluginFormat& format,
                                     const juce::StringArray& identifiers, const Pass& pass,
                                     int examined, std::vector<juce::PluginDescription>& found)
{
    const DeclaredLv2Classes declared(lv2PlacesOf(format));
    for (const auto& id : identifiers)
    {
        if (pass.cancelled())
            return;
        pass.report(examined++, displayName(id));
        juce::OwnedArray<juce::PluginDescription> types;
        format.findAllTypesForFile(types, id);
        for (auto* d : types)
        {
            declared.describe(*d);
            found.push_back(*d);
        }
    }
}

int PluginScanner::runChild(const juce::File& output, const juce::String& formatName,
                            const juce::StringArray& identifiers)
{
    juce::AudioPluginFormatManager formats;
    addHostedFormats(formats);
    juce::AudioPluginFormat* format = nullptr;
    for (auto* f : formats.getFormats())
        if (f->getName() == formatName)
            format = f;
    if (format == nullptr)
        return 2;

    juce::FileOutputStream out(output);
    if (!out.openedOk())
        return 3;
    const auto oneLine = juce::XmlElement::TextFormat().singleLine().withoutHeader();
    const DeclaredLv2Classes declared(lv2PlacesOf(*format));
    for (int i = 0; i < identifiers.size(); ++i)
    {
        juce::OwnedArray<juce::PluginDescription> types;
        format->findAllTypesForFile(types, identifiers[i]);
        for (auto* d : types)
        {
            declared.describe(*d);
            if (auto xml = d->createXml())
                out << i << "\t" << xml->toString(oneLine) << "\n";
        }
        out << i << "\tdone\n";
        out.flush(); // the parent watches the file for progress
    }
    return 0;
}

} // namespace norvane
