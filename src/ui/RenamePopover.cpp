#include "ui/RenamePopover.h"

namespace norvane
{

RenamePopover::RenamePopover(const ViewContext& contextIn, juce::String title,
                             juce::String currentName,
                             std::function<void(const juce::String&)> onSaveIn)
    : context(contextIn), onSave(std::move(onSaveIn)), cancelPill(contextIn), savePill(contextIn)
{
    heading.setText(title, juce::dontSendNotification);
    hint.setMinimumHorizontalScale(1.0f);
    addAndMakeVisible(heading);
    addAndMakeVisible(hint);

    editor.setText(currentName, false);
    editor.setFont(Fonts::body());
    editor.setIndents(8, 5);
    editor.onReturnKey = [this] { save(); };
    editor.onEscapeKey = [this] { cancel(); };
    addAndMakeVisible(editor);

    cancelPill.onClick = [this] { cancel(); };
    savePill.onClick = [this] { save(); };
    savePill.setHighlighted(true); // the default button
    addAndMakeVisible(cancelPill);
    addAndMakeVisible(savePill);

    watch.watch(context.loc, [this] { refresh(); });
    watch.watch(context.theme, [this] { refresh(); });
    refresh();
    setSize(width, 150);
}

void RenamePopover::refresh()
{
    styleLabel(heading, Fonts::headline(), context.textPrimary());
    styleLabel(hint, Fonts::caption(), context.textSecondary(), juce::Justification::topLeft);
    hint.setText(context.text("Deja el campo vacío para restaurar el nombre original.",
                              "Leave the field empty to restore the original name."),
                 juce::dontSendNotification);
    editor.setTextToShowWhenEmpty(context.text("Nombre", "Name"), context.textSecondary());
    editor.setColour(juce::TextEditor::textColourId, context.textPrimary());
    editor.setColour(juce::TextEditor::backgroundColourId, context.faint(0.08f));
    editor.setColour(juce::TextEditor::outlineColourId, context.faint(0.22f));
    editor.setColour(juce::TextEditor::focusedOutlineColourId, context.accent());
    cancelPill.setButtonText(context.text("Cancelar", "Cancel"));
    savePill.setButtonText(context.text("Guardar", "Save"));
    resized();
    repaint();
}

void RenamePopover::resized()
{
    auto area = getLocalBounds().reduced(12);
    heading.setBounds(area.removeFromTop(20));
    area.removeFromTop(8);
    editor.setBounds(area.removeFromTop(28));
    area.removeFromTop(6);
    hint.setBounds(area.removeFromTop(30));
    auto buttons = area.removeFromBottom(26);
    const int saveWidth = savePill.idealWidth();
    savePill.setBounds(buttons.removeFromRight(saveWidth));
    buttons.removeFromRight(6);
    cancelPill.setBounds(buttons.removeFromRight(cancelPill.idealWidth()));
}

bool RenamePopover::keyPressed(const juce::KeyPress& key)
{
    if (key == juce::KeyPress::returnKey)
    {
        save();
        return true;
    }
    if (key == juce::KeyPress::escapeKey)
    {
        cancel();
        return true;
    }
    return false;
}

void RenamePopover::save()
{
    if (onSave)
        onSave(editor.getText());
    dismiss();
}

void RenamePopover::cancel()
{
    dismiss();
}

void RenamePopover::dismiss()
{
    if (auto* box = findParentComponentOfClass<juce::CallOutBox>())
        box->dismiss();
}

} // namespace norvane
