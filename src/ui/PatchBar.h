#pragma once

#include "ui/Look.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <memory>
#include <vector>

namespace norvane
{

class AudioEngine;
class DronePadController;
class LivePatchStore;
struct LivePatch;

/** One patch in the bar: its number and name in a capsule, filled with the accent while it is
    the active one. A click recalls it; the context menu overwrites or deletes it. */
class PatchChip final : public juce::Component
{
public:
    PatchChip(const ViewContext& context, int position, juce::String name, bool active);

    std::function<void()> onClick;
    std::function<void()> onMenu;

    int idealWidth() const;
    bool isActive() const { return active; }
    juce::String name() const { return title; }

    void paint(juce::Graphics& g) override;
    void mouseUp(const juce::MouseEvent& event) override;

private:
    const ViewContext& context;
    int position;
    juce::String title;
    bool active;
};

/** The save popover: the name (pre-filled "Patch N"), the Program Change that will recall it,
    Cancel and Save. Save stays disabled while the name is only spaces. */
class SavePatchView final : public juce::Component
{
public:
    SavePatchView(const ViewContext& context, int patchCount, std::function<void(juce::String)> onSave);

    void paint(juce::Graphics& g) override;
    void resized() override;

    /** Saves the name as typed and closes; nothing when Save is disabled. */
    void save();
    juce::String caption() const;
    bool canSave() const;

    juce::TextEditor nameField;
    PillButton cancelButton, saveButton;

private:
    void close();
    void update();

    const ViewContext& context;
    int number;
    std::function<void(juce::String)> onSave;
};

/** The row of live patches: step back, the chips, step forward, and "Save patch". */
class PatchBar final : public juce::Component
{
public:
    PatchBar(const ViewContext& context, LivePatchStore& store, AudioEngine& engine, DronePadController& drone);
    ~PatchBar() override;

    static constexpr int height = 42;

    void paint(juce::Graphics& g) override;
    void resized() override;

    void step(int offset);
    void recall(size_t position);
    void overwrite(size_t position);
    void remove(size_t position);
    /** Saves the current set-up as a new patch at the end and makes it active. */
    void saveNew(const juce::String& name);
    /** The popover the save button opens (not shown). */
    std::unique_ptr<SavePatchView> makeSaveView();
    /** A chip's context menu. */
    juce::PopupMenu chipMenu(size_t position);

    const std::vector<std::unique_ptr<PatchChip>>& chips() const { return chipViews; }
    /** The part of the row of chips in view, in the row's coordinates. */
    juce::Rectangle<int> visibleChips() const { return chipViewport.getViewArea(); }
    PillButton back, forward, saveButton;

private:
    void rebuild();
    /** Scrolls the row just enough to show the active chip whole. */
    void revealActive();

    const ViewContext& context;
    LivePatchStore& store;
    AudioEngine& engine;
    DronePadController& drone;
    ModelWatch watch;
    juce::Viewport chipViewport;
    juce::Component chipRow;
    juce::Label emptyText;
    std::vector<std::unique_ptr<PatchChip>> chipViews;
    std::optional<juce::Uuid> revealed; // the active patch last brought into view
};

} // namespace norvane
