#include "download/section_planner.h"

#include <algorithm>

namespace plover {
namespace {

bool OverlapsOrTouches(const SSection& a, const SSection& b) {
    return uint64_t(a.Start) <= b.End() && uint64_t(b.Start) <= a.End();
}

SSection Span(uint64_t start, uint64_t end) { return SSection{uint32_t(start), uint32_t(end - start)}; }

}  // namespace

void MergeSections(SectionList& list) {
    for (size_t i = 0; i < list.size(); ++i) {
        bool folded = true;
        while (folded) {
            folded = false;
            for (size_t j = i + 1; j < list.size(); ++j) {
                if (!OverlapsOrTouches(list[i], list[j])) continue;
                uint64_t start = std::min(list[i].Start, list[j].Start);
                uint64_t end = std::max(list[i].End(), list[j].End());
                list[i] = Span(start, end);
                list.erase(list.begin() + ptrdiff_t(j));
                folded = true;
                break;
            }
        }
    }
}

SectionList CutGaps(const SectionList& occupied, uint32_t size) {
    SectionList gaps;
    if (size == 0) return gaps;
    gaps.push_back({0, size});
    for (const SSection& occ : occupied) {
        if (occ.Size == 0) continue;
        const uint64_t os = occ.Start, oe = occ.End();
        for (size_t k = 0; k < gaps.size();) {
            const uint64_t gs = gaps[k].Start, ge = gaps[k].End();
            if (oe <= gs || os >= ge) {  // no overlap
                ++k;
            } else if (os > gs && oe < ge) {  // strictly inside: split, the right part appended
                gaps[k] = Span(gs, os);
                gaps.push_back(Span(oe, ge));
                ++k;
            } else if (os <= gs && oe >= ge) {  // covers the whole gap
                gaps.erase(gaps.begin() + ptrdiff_t(k));
            } else if (os <= gs) {  // covers the gap's start
                gaps[k] = Span(oe, ge);
                ++k;
            } else {  // covers the gap's end
                gaps[k] = Span(gs, os);
                ++k;
            }
        }
    }
    return gaps;
}

SSection PlaceChunk(const SectionList& gaps, uint32_t size, uint32_t maxSections, bool wholeGap, uint32_t minChunk) {
    SSection none{0, 0};
    if (gaps.empty() || size == 0) return none;
    const SSection* gap = &gaps[0];
    for (const SSection& g : gaps)
        if (g.Size > gap->Size) gap = &g;
    if (gap->Size == 0) return none;
    if (wholeGap) return *gap;
    // Never a chunk of 0 bytes (a file smaller than the number of workers), and never a remainder
    // smaller than the least chunk: that would cost a connection of its own.
    const uint32_t chunk = std::max({size / std::max<uint32_t>(maxSections, 1), minChunk, 1u});
    if (chunk >= gap->Size || gap->Size - chunk < minChunk) return *gap;
    if (gaps.size() >= maxSections || gap->Start == 0) return {gap->Start, chunk};
    uint64_t start = uint64_t(gap->Start) + gap->Size / 2;
    if (start + chunk > gap->End()) start = gap->End() - chunk;
    return {uint32_t(start), chunk};
}

bool IsPlaceable(const SSection& chunk, uint32_t size) {
    return chunk.Size != 0 && chunk.Start != kUnknownSize && chunk.End() <= size;
}

uint32_t SumSections(const SectionList& list) {
    uint64_t sum = 0;
    for (const SSection& s : list) sum += s.Size;
    return uint32_t(std::min<uint64_t>(sum, kUnknownSize));
}

bool CoversWholeFile(const SectionList& merged, uint32_t size) {
    if (size == kUnknownSize) return false;
    if (size == 0) {
        for (const SSection& s : merged)
            if (s.Size != 0) return false;
        return true;
    }
    return merged.size() == 1 && merged[0].Start == 0 && merged[0].Size == size;
}

bool ContainsByte(const SectionList& list, uint32_t offset) {
    for (const SSection& s : list)
        if (s.Size != 0 && offset >= s.Start && uint64_t(offset) < s.End()) return true;
    return false;
}

SectionList UncoveredParts(const SectionList& list, uint32_t start, uint32_t length) {
    SectionList sorted;
    for (const SSection& s : list)
        if (s.Size != 0) sorted.push_back(s);
    std::sort(sorted.begin(), sorted.end(), [](const SSection& a, const SSection& b) { return a.Start < b.Start; });
    SectionList parts;
    uint64_t pos = start;
    const uint64_t end = uint64_t(start) + length;
    for (const SSection& s : sorted) {
        if (s.End() <= pos) continue;
        if (s.Start >= end) break;
        if (s.Start > pos) parts.push_back(Span(pos, s.Start));
        pos = std::max<uint64_t>(pos, s.End());
        if (pos >= end) break;
    }
    if (pos < end) parts.push_back(Span(pos, end));
    return parts;
}

void SubtractRange(SectionList& list, uint32_t start, uint32_t length) {
    const uint64_t rs = start, re = uint64_t(start) + length;
    SectionList out;
    for (const SSection& s : list) {
        if (s.End() <= rs || s.Start >= re) {
            out.push_back(s);
            continue;
        }
        if (s.Start < rs) out.push_back(Span(s.Start, rs));
        if (s.End() > re) out.push_back(Span(re, s.End()));
    }
    list.swap(out);
}

uint64_t HighestEnd(const SectionList& list) {
    uint64_t end = 0;
    for (const SSection& s : list) end = std::max(end, s.End());
    return end;
}

}  // namespace plover
