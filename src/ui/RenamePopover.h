#pragma once

#include "ui/Look.h"

#include <functional>

namespace norvane
{

/** The small dialog that gives a layer or a sound a name of the musician's own: a heading, a
    text field that opens with the current name, a hint, and Cancel / Save. Saving hands the
    text, as typed, to `onSave` (the caller trims it and treats an empty name as "restore the
    built-in one") and closes the call-out box around the dialog, if any.

    Message thread only.
*/
class RenamePopover final : public juce::Component
{
public:
    static constexpr int width = 220;

    RenamePopover(const ViewContext& context, juce::String title, juce::String currentName,
                  std::function<void(const juce::String&)> onSave);

    /** Calls onSave with the field's text, then closes. Return in the field does the same. */
    void save();
    /** Closes without saving. */
    void cancel();

    juce::TextEditor& field() { return editor; }
    juce::String text() const { return editor.getText(); }
    juce::Button& saveButton() { return savePill; }
    juce::String titleText() const { return heading.getText(); }

    void resized() override;
    bool keyPressed(const juce::KeyPress& key) override;

private:
    void refresh();
    void dismiss();

    const ViewContext& context;
    const std::function<void(const juce::String&)> onSave;
    juce::Label heading, hint;
    juce::TextEditor editor;
    PillButton cancelPill, savePill;
    ModelWatch watch;
};

} // namespace norvane
