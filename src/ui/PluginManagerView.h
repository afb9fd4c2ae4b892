#pragma once

#include "catalog/InstrumentCategory.h"
#include "ui/Look.h"

#include <memory>
#include <vector>

namespace norvane
{

class PluginLibrary;

/** The symbol that stands for an instrument category in menus and headings. */
std::string categorySymbol(InstrumentCategory category);

/** Puts installed instrument plug-ins into the three slots of each instrument category (all
    but the drone's pad), so that they are offered beside the built-in sounds. Every choice is
    stored in the library's file at once.

    Message thread only.
*/
class PluginManagerView final : public juce::Component
{
public:
    static constexpr int idealWidth = 420;
    static constexpr int idealHeight = 540;

    PluginManagerView(const ViewContext& context, PluginLibrary& library);
    ~PluginManagerView() override;

    /** The categories offered: every one except pad, in order. */
    static std::vector<InstrumentCategory> categories();

    /** The slot's menu: "Empty", then every installed instrument by name. */
    juce::PopupMenu slotMenu(InstrumentCategory category, int index);
    /** The slot's label: the assigned plug-in's name or "Empty". */
    juce::String slotText(InstrumentCategory category, int index) const;
    /** Whether the list is replaced by the no-plug-ins message (not while the first scan
        may still find some). */
    bool showsEmptyMessage() const;
    /** While a scan runs: "Scanning installed plugins… 3 of 12", and the one being examined. */
    juce::String progressText() const { return progress.isVisible() ? progress.getText() : ""; }
    /** The headings shown in the list, in order. */
    juce::StringArray sectionTitles() const;
    juce::String explanationText() const { return explanation.getText(); }
    juce::Button& rescanButton() { return rescan; }

    void resized() override;
    void paint(juce::Graphics& g) override;

private:
    struct SlotRow;
    struct Heading;
    void refresh();

    const ViewContext& context;
    PluginLibrary& library;
    juce::Label title, explanation, emptyMessage, progress;
    juce::Rectangle<float> progressTrack;
    double progressShare = 0.0; // of the bar under the progress line
    PillButton rescan;
    juce::Viewport viewport;
    juce::Component list;
    std::vector<std::unique_ptr<Heading>> headings;
    std::vector<std::unique_ptr<SlotRow>> rows;
    ModelWatch watch;
};

} // namespace norvane
