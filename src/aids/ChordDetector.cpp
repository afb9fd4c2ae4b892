#include "aids/ChordDetector.h"

#include "aids/NoteNames.h"

#include <algorithm>
#include <climits>

namespace norvane::ChordDetector
{

namespace
{

/** The set rotated so that `root` becomes 0: the intervals of every member above it. */
PitchClassSet intervalsAbove(PitchClassSet pcs, int root)
{
    const unsigned wide = (unsigned)pcs | ((unsigned)pcs << 12);
    return (PitchClassSet)((wide >> root) & 0xfffu);
}

/** The members in ascending pitch-class order, spelled from `table`. */
std::vector<std::string> spelled(PitchClassSet pcs, const NoteNames::Table& table)
{
    std::vector<std::string> names;
    names.reserve((size_t)countOf(pcs));
    for (int pc = 0; pc < 12; ++pc)
        if (contains(pcs, pc))
            names.emplace_back(table[(size_t)pc]);
    return names;
}

const NoteNames::Table& spellingFor(int root, bool minorLike)
{
    return NoteNames::prefersFlats(root, minorLike) ? NoteNames::flatNames : NoteNames::sharpNames;
}

ChordResult singleNote(int bassPC)
{
    const std::string name(NoteNames::sharpNames[(size_t)bassPC]);
    return {name, name, std::nullopt, {name}, bassPC};
}

ChordResult twoNotes(PitchClassSet pcs, int bassPC)
{
    const auto others = (PitchClassSet)(pcs & ~(1u << bassPC));
    int other = 0;
    while (!contains(others, other))
        ++other;
    const int interval = NoteNames::pitchClass(other - bassPC);

    if (interval == 7 || interval == 5)
    {
        // A power chord: on the bass, or with its fifth in the bass.
        const int root = interval == 7 ? bassPC : other;
        const auto& table = spellingFor(root, false);
        ChordResult r;
        r.rootName = NoteNames::majorRootNames[(size_t)root];
        r.symbol = r.rootName + "5";
        if (interval == 5)
        {
            r.bassName = std::string(table[(size_t)bassPC]);
            r.symbol += "/" + *r.bassName;
        }
        r.noteNames = spelled(pcs, table);
        r.rootPitchClass = root;
        return r;
    }

    // A named interval, bass first, always with sharps.
    const std::string lower(NoteNames::sharpNames[(size_t)bassPC]);
    const std::string upper(NoteNames::sharpNames[(size_t)other]);
    ChordResult r;
    r.symbol = lower + " \u2013 " + upper + " (" +
               std::string(NoteNames::intervalNames[(size_t)interval]) + ")";
    r.rootName = lower;
    r.noteNames = {lower, upper};
    r.rootPitchClass = bassPC;
    return r;
}

ChordResult named(PitchClassSet pcs, int bassPC, const Candidate& c)
{
    const auto symbol = c.chordTemplate().symbol;
    const bool minorLike = isMinorLike(symbol);
    const auto& table = spellingFor(c.root, minorLike);

    ChordResult r;
    r.rootName =
        (minorLike ? NoteNames::minorRootNames : NoteNames::majorRootNames)[(size_t)c.root];
    r.symbol = r.rootName + std::string(symbol);
    if (c.root != bassPC)
    {
        r.bassName = std::string(table[(size_t)bassPC]);
        r.symbol += "/" + *r.bassName;
    }
    r.noteNames = spelled(pcs, table);
    r.rootPitchClass = c.root;
    return r;
}

} // namespace

bool isMinorLike(std::string_view symbol)
{
    return (symbol.starts_with("m") && !symbol.starts_with("maj")) || symbol.starts_with("dim");
}

std::optional<Candidate> bestCandidate(PitchClassSet pitchClasses, int bassPC,
                                       bool allowUnexplained)
{
    std::optional<Candidate> best;
    int bestBassInterval = INT_MAX;

    for (int root = 0; root < 12; ++root)
    {
        if (!contains(pitchClasses, root))
            continue;
        const auto intervals = intervalsAbove(pitchClasses, root);
        const int bassInterval = NoteNames::pitchClass(bassPC - root);

        for (int order = 0; order < (int)ChordLibrary::all.size(); ++order)
        {
            const auto& t = ChordLibrary::all[(size_t)order];
            if ((intervals & t.required) != t.required)
                continue;
            const auto allowed = (PitchClassSet)(t.required | t.optional | t.colour);
            const int unexplained = countOf((PitchClassSet)(intervals & ~allowed));
            if (unexplained > 0 && !allowUnexplained)
                continue;
            const int missing = countOf((PitchClassSet)(t.optional & ~intervals));
            const int cost =
                3 * t.complexity + 2 * missing + (root != bassPC ? 4 : 0) + 6 * unexplained;

            // Roots and templates are visited in ascending order, so a strict comparison
            // keeps the earlier candidate on a full tie.
            const bool better = !best || cost < best->cost ||
                                (cost == best->cost && bassInterval < bestBassInterval);
            if (better)
            {
                best = Candidate{root, cost, order};
                bestBassInterval = bassInterval;
            }
        }
    }
    return best;
}

namespace
{

ChordResult detectIn(PitchClassSet pcs, int lowestNote)
{
    const int bassPC = NoteNames::pitchClass(lowestNote);
    switch (countOf(pcs))
    {
    case 1:
        return singleNote(bassPC);
    case 2:
        return twoNotes(pcs, bassPC);
    default:
        break;
    }

    auto c = bestCandidate(pcs, bassPC, false);
    if (!c)
        c = bestCandidate(pcs, bassPC, true);
    if (c)
        return named(pcs, bassPC, *c);

    // Nothing fits at all: name the bass.
    ChordResult r;
    r.symbol = r.rootName = std::string(NoteNames::sharpNames[(size_t)bassPC]);
    r.noteNames = spelled(pcs, NoteNames::sharpNames);
    r.rootPitchClass = bassPC;
    return r;
}

template <typename Notes> std::optional<ChordResult> detectNotes(const Notes& midiNotes)
{
    if (midiNotes.empty())
        return std::nullopt;
    PitchClassSet pcs = 0;
    int lowest = INT_MAX;
    for (int n : midiNotes)
    {
        pcs = (PitchClassSet)(pcs | (1u << NoteNames::pitchClass(n)));
        lowest = std::min(lowest, n);
    }
    return detectIn(pcs, lowest);
}

} // namespace

std::optional<ChordResult> detect(std::span<const int> midiNotes)
{
    return detectNotes(midiNotes);
}

std::optional<ChordResult> detect(const std::set<int>& midiNotes)
{
    return detectNotes(midiNotes);
}

} // namespace norvane::ChordDetector
