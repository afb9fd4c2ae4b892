#include "ui/PatchBar.h"

#include "aids/DronePadController.h"
#include "engine/AudioEngine.h"
#include "store/LivePatch.h"
#include "store/LivePatchStore.h"
#include "ui/MidiLearn.h"

namespace norvane
{

// ---- PatchChip -----------------------------------------------------------------------------

PatchChip::PatchChip(const ViewContext& contextIn, int positionIn, juce::String name, bool activeIn)
    : context(contextIn), position(positionIn), title(std::move(name)), active(activeIn)
{
    setMouseCursor(juce::MouseCursor::PointingHandCursor);
    setTitle(title);
}

int PatchChip::idealWidth() const
{
    return juce::jmin(220, 34 + Fonts::caption().getStringWidth(juce::String(position + 1)) +
                               Fonts::bold(12.0f).getStringWidth(title));
}

void PatchChip::paint(juce::Graphics& g)
{
    const auto area = getLocalBounds().toFloat().reduced(0.5f);
    const float radius = area.getHeight() / 2.0f;
    g.setColour(active ? context.accent() : context.faint(isMouseOver() ? 0.1f : 0.06f));
    g.fillRoundedRectangle(area, radius);
    const auto number = juce::String(position + 1);
    const int numberWidth = Fonts::caption().getStringWidth(number);
    auto inner = area.reduced(12.0f, 0.0f);
    g.setFont(Fonts::caption());
    g.setColour(active ? juce::Colours::black.withAlpha(0.55f) : context.textSecondary());
    g.drawText(number, inner.removeFromLeft((float)numberWidth), juce::Justification::centredLeft, false);
    inner.removeFromLeft(6.0f);
    g.setFont(Fonts::bold(12.0f));
    g.setColour(active ? juce::Colours::black : context.textPrimary());
    g.drawFittedText(title, inner.toNearestInt(), juce::Justification::centredLeft, 1, 0.8f);
}

void PatchChip::mouseUp(const juce::MouseEvent& event)
{
    if (!getLocalBounds().contains(event.getPosition()))
        return;
    // A copy: the bar rebuilds its chips when the patches change, this one included.
    auto action = event.mods.isPopupMenu() ? onMenu : onClick;
    if (action)
        action();
}

// ---- SavePatchView -------------------------------------------------------------------------

SavePatchView::SavePatchView(const ViewContext& contextIn, int patchCount,
                             std::function<void(juce::String)> onSaveIn)
    : cancelButton(contextIn), saveButton(contextIn), context(contextIn), number(patchCount + 1),
      onSave(std::move(onSaveIn))
{
    nameField.setText("Patch " + juce::String(number), false);
    nameField.setTextToShowWhenEmpty(context.text("Nombre", "Name"), context.textSecondary());
    nameField.setFont(Fonts::body());
    nameField.setIndents(8, 6);
    nameField.onTextChange = [this] { update(); };
    nameField.onReturnKey = [this] { save(); };
    nameField.onEscapeKey = [this] { close(); };
    cancelButton.setButtonText(context.text("Cancelar", "Cancel"));
    saveButton.setButtonText(context.text("Guardar", "Save"));
    cancelButton.onClick = [this] { close(); };
    saveButton.onClick = [this] { save(); };
    for (auto* c : std::initializer_list<juce::Component*>{&nameField, &cancelButton, &saveButton})
        addAndMakeVisible(c);
    setSize(300, 160);
    update();
}

juce::String SavePatchView::caption() const
{
    return context.text("Se recallará con Program Change ", "Recalled by Program Change ") + juce::String(number) +
           context.text(" desde tu controlador.", " from your controller.");
}

bool SavePatchView::canSave() const { return nameField.getText().trim().isNotEmpty(); }

void SavePatchView::update()
{
    saveButton.setEnabled(canSave());
    saveButton.setHighlighted(canSave());
}

void SavePatchView::save()
{
    if (!canSave())
        return;
    const auto name = nameField.getText();
    if (onSave)
        onSave(name);
    close();
}

void SavePatchView::close()
{
    if (auto* box = findParentComponentOfClass<juce::CallOutBox>())
        box->dismiss();
}

void SavePatchView::resized()
{
    nameField.setBounds(16, 44, getWidth() - 32, 30);
    saveButton.setBounds(getWidth() - 16 - 90, getHeight() - 16 - 28, 90, 28);
    cancelButton.setBounds(saveButton.getX() - 8 - 90, saveButton.getY(), 90, 28);
}

void SavePatchView::paint(juce::Graphics& g)
{
    g.setColour(context.textPrimary());
    g.setFont(Fonts::headline());
    g.drawText(context.text("Guardar patch actual", "Save current patch"), 16, 14, getWidth() - 32, 20,
               juce::Justification::centredLeft);
    g.setColour(context.textSecondary());
    g.setFont(Fonts::caption());
    g.drawFittedText(caption(), 16, 80, getWidth() - 32, 30, juce::Justification::topLeft, 2, 1.0f);
}

// ---- PatchBar ------------------------------------------------------------------------------

PatchBar::PatchBar(const ViewContext& contextIn, LivePatchStore& storeIn, AudioEngine& engineIn,
                   DronePadController& droneIn)
    : back(contextIn, "chevron.left"), forward(contextIn, "chevron.right"),
      saveButton(contextIn, "plus.circle.fill"), context(contextIn), store(storeIn), engine(engineIn),
      drone(droneIn)
{
    for (auto* b : {&back, &forward})
        b->setCornerRadius(12.0f);
    back.onClick = [this] { step(-1); };
    forward.onClick = [this] { step(+1); };
    learnable(context, back, ControlTarget::of(ControlTarget::Kind::patchPrevious));
    learnable(context, forward, ControlTarget::of(ControlTarget::Kind::patchNext));
    saveButton.onClick = [this] { showPopover(makeSaveView(), saveButton); };
    chipViewport.setViewedComponent(&chipRow, false);
    chipViewport.setScrollBarsShown(false, true);
    chipViewport.setScrollBarThickness(5);
    for (auto* c : std::initializer_list<juce::Component*>{&back, &forward, &saveButton, &chipViewport})
        addAndMakeVisible(c);
    chipRow.addChildComponent(emptyText);
    watch.watch(store, [this] { rebuild(); });
    watch.watch(context.loc, [this] { rebuild(); });
    watch.watch(context.theme, [this] { rebuild(); });
    rebuild();
}

PatchBar::~PatchBar() = default;

void PatchBar::rebuild()
{
    chipViews.clear();
    const auto& patches = store.patches.get();
    const auto& active = store.activePatchID.get();
    for (size_t i = 0; i < patches.size(); ++i)
    {
        auto chip = std::make_unique<PatchChip>(context, (int)i, fromUTF8(patches[i].name),
                                                active.has_value() && *active == patches[i].id);
        chip->onClick = [this, i] { recall(i); };
        chip->onMenu = [this, i] { chipMenu(i).showMenuAsync(juce::PopupMenu::Options()); };
        chipRow.addAndMakeVisible(*chip);
        chipViews.push_back(std::move(chip));
    }
    styleLabel(emptyText, Fonts::body(), context.textSecondary());
    emptyText.setText(context.text("Sin patches guardados", "No saved patches"), juce::dontSendNotification);
    emptyText.setVisible(patches.empty());
    back.setEnabled(!patches.empty());
    forward.setEnabled(!patches.empty());
    saveButton.setButtonText(context.text("Guardar patch", "Save patch"));
    resized();
    // A recall by step, arrow or Program Change brings its chip into view; the player's own
    // scrolling stays as it is otherwise.
    if (active != revealed)
    {
        revealed = active;
        revealActive();
    }
    repaint();
}

void PatchBar::revealActive()
{
    const auto index = store.activeIndex();
    if (!index || (size_t)*index >= chipViews.size())
        return;
    const auto chip = chipViews[(size_t)*index]->getBounds();
    const auto view = chipViewport.getViewArea();
    if (chip.getX() < view.getX())
        chipViewport.setViewPosition(chip.getX(), 0);
    else if (chip.getRight() > view.getRight())
        chipViewport.setViewPosition(chip.getRight() - view.getWidth(), 0);
}

void PatchBar::step(int offset)
{
    if (!store.patches->empty())
        store.step(offset, engine, drone);
}

void PatchBar::recall(size_t position)
{
    const auto patches = store.patches.get();
    if (position >= patches.size())
        return;
    patches[position].apply(engine, drone);
    store.activePatchID = patches[position].id;
}

void PatchBar::overwrite(size_t position)
{
    const auto patches = store.patches.get();
    if (position >= patches.size())
        return;
    const auto patch = LivePatch::capture(engine, drone, patches[position].name, patches[position].id);
    store.save(patch);
    store.activePatchID = patch.id;
}

void PatchBar::remove(size_t position)
{
    const auto patches = store.patches.get();
    if (position < patches.size())
        store.remove(patches[position]);
}

void PatchBar::saveNew(const juce::String& name)
{
    const auto patch = LivePatch::capture(engine, drone, name.toStdString());
    store.save(patch);
    store.activePatchID = patch.id;
}

std::unique_ptr<SavePatchView> PatchBar::makeSaveView()
{
    juce::Component::SafePointer<PatchBar> self(this);
    return std::make_unique<SavePatchView>(context, (int)store.patches->size(),
                                           [self](juce::String name)
                                           {
                                               if (self != nullptr)
                                                   self->saveNew(name);
                                           });
}

juce::PopupMenu PatchBar::chipMenu(size_t position)
{
    juce::PopupMenu menu;
    menu.addItem(context.text("Sobrescribir con el estado actual", "Overwrite with current state"), true, false,
                 [this, position] { overwrite(position); });
    juce::PopupMenu::Item remove(context.text("Eliminar", "Delete"));
    remove.setColour(juce::Colour(0xffff5a52));
    remove.setAction([this, position] { this->remove(position); });
    menu.addItem(std::move(remove));
    return menu;
}

void PatchBar::resized()
{
    auto area = getLocalBounds().reduced(12, 7);
    saveButton.setBounds(area.removeFromRight(saveButton.idealWidth()));
    area.removeFromRight(16);
    back.setBounds(area.removeFromLeft(24).withSizeKeepingCentre(24, 24));
    area.removeFromLeft(8);
    forward.setBounds(area.removeFromRight(24).withSizeKeepingCentre(24, 24));
    area.removeFromRight(8);
    chipViewport.setBounds(area);

    int x = 0;
    const int h = area.getHeight() - 4;
    for (auto& chip : chipViews)
    {
        chip->setBounds(x, 0, chip->idealWidth(), h);
        x += chip->getWidth() + 6;
    }
    emptyText.setBounds(4, 0, 300, h);
    chipRow.setSize(juce::jmax(x, area.getWidth()), h);
}

void PatchBar::paint(juce::Graphics& g) { paintRackPanel(g, getLocalBounds().toFloat(), context, 12.0f); }

} // namespace norvane
