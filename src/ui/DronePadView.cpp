#include "ui/DronePadView.h"

#include "aids/DronePadController.h"
#include "engine/SoundLayer.h"
#include "ui/Icons.h"
#include "ui/MidiLearn.h"

namespace norvane
{

namespace
{
constexpr int margin = 14;
constexpr int gap = 6;

// Rows, top to bottom.
constexpr int headerY = 12, headerHeight = 26;
constexpr int padTypesY = headerY + headerHeight + 10, padTypeHeight = 28;
constexpr int keysY = padTypesY + padTypeHeight + 10, keyHeight = 26;
constexpr int octaveY = keysY + 2 * keyHeight + gap + 10, octaveHeight = 26;
constexpr int knobsY = octaveY + octaveHeight + 10;
constexpr int knobHeight = (int)DronePadView::knobSize + 14 + RotaryKnob::captionHeight;
constexpr int stepperWidth = 30, octaveNumberWidth = 28;

constexpr const char* keyNames[12] = {"C",  "C#", "D",  "D#", "E",  "F",
                                      "F#", "G",  "G#", "A",  "A#", "B"};

struct KnobFace
{
    const char* spanish;
    const char* english;
    double defaultValue;
};
constexpr std::array<KnobFace, DronePadView::knobCount> knobFaces{{
    {"Volumen", "Volume", 0.5},
    {"Reverb", "Reverb", 0.85},
    {"Decay", "Decay", 0.9},
    {"Brillo", "Brightness", 0.5},
    {"Shimmer", "Shimmer", 0.0},
}};
} // namespace

DronePadView::DronePadView(const ViewContext& contextIn, DronePadController& controllerIn,
                           SoundLayer& droneLayer)
    : context(contextIn), controller(controllerIn), layer(droneLayer),
      shownCategory(droneLayer.category.get()), enabledToggle(contextIn),
      octaveDown(contextIn, "minus"), octaveUp(contextIn, "plus")
{
    addAndMakeVisible(enabledToggle);
    enabledToggle.onClick = [this] { controller.isEnabled = enabledToggle.getToggleState(); };
    learnable(context, enabledToggle, ControlTarget::of(ControlTarget::Kind::droneEnabled));

    for (int pc = 0; pc < 12; ++pc)
    {
        auto& button = keyButtons[(size_t)pc];
        button = std::make_unique<PillButton>(context, std::string{}, keyNames[pc]);
        button->onClick = [this, pc] { chooseKey(pc); };
        addAndMakeVisible(*button);
    }

    for (auto* b : {&octaveDown, &octaveUp})
        addAndMakeVisible(*b);
    octaveDown.onClick = [this] { stepOctave(-1); };
    octaveUp.onClick = [this] { stepOctave(+1); };
    addAndMakeVisible(octaveValue);

    // The pad knobs act straight on the layer; brightness and shimmer go through the
    // controller, whose own change handling retunes the EQ or restarts the notes.
    const std::array<Published<double>*, knobCount> bound{
        &layer.volume, &layer.reverbAmount, &layer.reverbDecay, &controller.brightness,
        &controller.shimmer};
    for (size_t i = 0; i < knobCount; ++i)
    {
        knobs[i] =
            std::make_unique<RotaryKnob>(context, ValueBinding::of(*bound[i]), juce::String(),
                                         knobSize, knobFaces[i].defaultValue);
        addAndMakeVisible(*knobs[i]);
    }
    learnable(context, *knobs[0], ControlTarget::of(ControlTarget::Kind::droneVolume));

    rebuildPadTypes();

    watch.watch(controller, [this] { refresh(); });
    watch.watch(layer, [this] { refresh(); });
    watch.watch(context.loc, [this] { refresh(); });
    watch.watch(context.theme, [this] { refresh(); });

    setSize(320, idealHeight());
    refresh();
}

DronePadView::~DronePadView() = default;

int DronePadView::idealHeight() const
{
    return knobsY + knobHeight + 8;
}

void DronePadView::rebuildPadTypes()
{
    for (auto& b : padTypeButtons)
        removeChildComponent(b.get());
    padTypeButtons.clear();
    shownCategory = layer.category.get();
    padTypes = variants(shownCategory);
    for (size_t i = 0; i < padTypes.size(); ++i)
    {
        auto button = std::make_unique<PillButton>(context);
        button->onClick = [this, i] { choosePadType((int)i); };
        addAndMakeVisible(*button);
        padTypeButtons.push_back(std::move(button));
    }
}

void DronePadView::choosePadType(int index)
{
    controller.choosePadType(index);
}

void DronePadView::chooseKey(int pitchClass)
{
    controller.chooseKey(pitchClass);
}

void DronePadView::stepOctave(int step)
{
    controller.shiftOctave(step);
}

juce::String DronePadView::title() const
{
    return "Drone Pads";
}

juce::String DronePadView::octaveCaption() const
{
    return context.text("Octava", "Octave");
}

void DronePadView::refresh()
{
    if (layer.category.get() != shownCategory)
    {
        rebuildPadTypes();
        resized();
    }

    const auto language = context.language();
    const int current = layer.variantIndex.get();
    for (size_t i = 0; i < padTypeButtons.size(); ++i)
    {
        padTypeButtons[i]->setButtonText(fromUTF8(padTypes[i].name(language)));
        padTypeButtons[i]->setHighlighted((int)i == current);
    }

    const bool on = controller.isEnabled.get();
    enabledToggle.setToggleState(on, juce::dontSendNotification);
    enabledToggle.setTitle(title());
    for (int pc = 0; pc < 12; ++pc)
        keyButtons[(size_t)pc]->setHighlighted(pc == controller.rootPitchClass.get());

    octaveDown.setTitle(context.text("Bajar una octava", "Octave down"));
    octaveUp.setTitle(context.text("Subir una octava", "Octave up"));
    styleLabel(octaveValue, Fonts::bold(15.0f), context.textPrimary(),
               juce::Justification::centred);
    octaveValue.setText(juce::String(controller.octave.get()), juce::dontSendNotification);

    for (size_t i = 0; i < knobCount; ++i)
    {
        knobs[i]->setLabel(context.text(knobFaces[i].spanish, knobFaces[i].english));
        knobs[i]->refresh();
    }
    repaint();
}

void DronePadView::resized()
{
    const int inner = getWidth() - 2 * margin;

    enabledToggle.setBounds(getWidth() - margin - 44, headerY, 44, headerHeight);

    const int types = (int)padTypeButtons.size();
    if (types > 0)
    {
        const float cell = (float)(inner - (types - 1) * gap) / (float)types;
        for (int i = 0; i < types; ++i)
        {
            const int x = margin + juce::roundToInt((float)i * (cell + (float)gap));
            const int right = margin + juce::roundToInt((float)i * (cell + (float)gap) + cell);
            padTypeButtons[(size_t)i]->setBounds(x, padTypesY, right - x, padTypeHeight);
        }
    }

    const float keyCell = (float)(inner - (gridColumns - 1) * gap) / (float)gridColumns;
    for (int pc = 0; pc < 12; ++pc)
    {
        const int column = pc % gridColumns, row = pc / gridColumns;
        const int x = margin + juce::roundToInt((float)column * (keyCell + (float)gap));
        const int right =
            margin + juce::roundToInt((float)column * (keyCell + (float)gap) + keyCell);
        keyButtons[(size_t)pc]->setBounds(x, keysY + row * (keyHeight + gap), right - x, keyHeight);
    }

    // The stepper sits at the right, its caption at the left.
    const int stepperRight = getWidth() - margin;
    octaveUp.setBounds(stepperRight - stepperWidth, octaveY, stepperWidth, octaveHeight);
    octaveValue.setBounds(octaveUp.getX() - octaveNumberWidth, octaveY, octaveNumberWidth,
                          octaveHeight);
    octaveDown.setBounds(octaveValue.getX() - stepperWidth, octaveY, stepperWidth, octaveHeight);

    // Narrow panels shrink the knobs' faces rather than crowd their ticks together.
    const float knobCell = (float)inner / (float)knobCount;
    for (size_t i = 0; i < knobCount; ++i)
    {
        const int x = margin + juce::roundToInt((float)i * knobCell);
        const int right = margin + juce::roundToInt((float)(i + 1) * knobCell);
        knobs[i]->setBounds(x, knobsY, right - x, knobHeight);
    }
}

void DronePadView::paint(juce::Graphics& g)
{
    paintRackPanel(g, getLocalBounds().toFloat(), context);

    const auto header =
        juce::Rectangle<float>((float)margin, (float)headerY,
                               (float)(enabledToggle.getX() - margin - 8), (float)headerHeight);
    drawIcon(g, "sparkles", header.withWidth(18.0f).withSizeKeepingCentre(18.0f, 18.0f),
             context.accent());
    g.setColour(context.textPrimary());
    g.setFont(Fonts::headline());
    g.drawFittedText(title(), header.withTrimmedLeft(26.0f).toNearestInt(),
                     juce::Justification::centredLeft, 1, 0.9f);

    g.setColour(context.textSecondary());
    g.setFont(Fonts::body());
    g.drawFittedText(
        octaveCaption(),
        juce::Rectangle<int>(margin, octaveY, octaveDown.getX() - margin - 8, octaveHeight),
        juce::Justification::centredLeft, 1, 0.9f);

    // A hairline between the choices above and the knobs.
    g.setColour(context.faint(0.07f));
    g.fillRect((float)margin, (float)knobsY - 5.0f, (float)(getWidth() - 2 * margin), 1.0f);
}

} // namespace norvane
