#include "engine/CompressorNode.h"

namespace norvane
{

float CompressorNode::ratioFor(float headRoomDecibels)
{
    const float h = juce::jlimit(0.0f, 40.0f, headRoomDecibels);
    return 1.0f + (40.0f - h) / 40.0f * 11.0f;
}

void CompressorNode::prepareToPlay(double sampleRate, int maximumBlockSize)
{
    compressor.prepare({sampleRate, (juce::uint32)std::max(1, maximumBlockSize), 2});
    compressor.setAttack(1.0f);
    compressor.setRelease(50.0f);
    appliedThreshold = appliedHeadRoom = 1.0e9f;
}

void CompressorNode::processBlock(juce::AudioBuffer<float>& buffer, juce::MidiBuffer&)
{
    const float t = threshold.load(), h = headRoom.load();
    if (t != appliedThreshold || h != appliedHeadRoom)
    {
        appliedThreshold = t;
        appliedHeadRoom = h;
        compressor.setThreshold(t);
        compressor.setRatio(ratioFor(h));
    }

    if (ratioFor(appliedHeadRoom) <= 1.0f)
        return; // 1:1 passes the signal untouched

    juce::dsp::AudioBlock<float> block(buffer);
    compressor.process(juce::dsp::ProcessContextReplacing<float>(block));
}

} // namespace norvane
