#pragma once
// The section planner's rules as pure functions over lists of byte ranges (SSection), so that
// every placement can be checked as a table.
//
// A download keeps the ranges of its file that are on disk in a section list. The planner builds
// the occupied list (the sections plus, for every section worker, the range it still has to
// fetch), cuts the gaps out of (0, size), picks the largest gap and places one chunk in it:
//   - chunk = size / "dwMaxSectPerDownload" (of the whole file, not of the gap), but never less
//     than "dwMinSectSize": a small file is not cut into pieces smaller than a connection is
//     worth (a 4 KiB thumbnail takes one worker after the probe, not five);
//   - a gap no larger than a chunk, or one that a chunk would leave with less than
//     "dwMinSectSize" behind, is fetched whole (a chunk is never less than one byte);
//   - with as many gaps as allowed workers, the chunk goes to the gap's start;
//   - a gap at offset 0 gets the chunk at its start;
//   - otherwise the chunk starts in the middle of the gap, moved back so that it ends at the gap's
//     last byte when it would run past it.
// A worker keeps writing past its chunk until it runs into data on disk, so a chunk started in the
// middle of a gap eventually stops the worker that fills the gap from its left end.
//
// All ends are computed in 64 bits: a range that ends at 4 GiB never wraps.
#include <cstdint>
#include <vector>

#include "download/download_config.h"

namespace plover {

using SectionList = std::vector<SSection>;

// Folds every later section that overlaps or touches a section into it (spanning both) and
// removes it; the scan goes on at the same section until nothing more folds into it. The order
// of the sections that remain is kept.
void MergeSections(SectionList& list);

// The gaps of (0, size) left by the occupied ranges, cut in list order (sizes 0 skipped): a range
// strictly inside a gap splits it (the right part is appended), one over the gap's start moves
// the start behind it, one over its end shortens it, one over the whole gap removes it.
SectionList CutGaps(const SectionList& occupied, uint32_t size);

// Where the next worker goes: the largest gap (the first on a tie) and the chunk placement above.
// With `wholeGap` (one worker fetches the rest: the single-section flag) the largest gap is taken
// whole. Size 0 means nothing to fetch.
SSection PlaceChunk(const SectionList& gaps, uint32_t size, uint32_t maxSections, bool wholeGap,
                    uint32_t minChunk = 0);

// Whether a placement may be started: a length, a start, and an end inside the file.
bool IsPlaceable(const SSection& chunk, uint32_t size);

// Sum of the sizes of the sections.
uint32_t SumSections(const SectionList& list);

// The file is whole: exactly one section from 0 of the full size (no sections at all for size 0).
bool CoversWholeFile(const SectionList& merged, uint32_t size);

// A section holds the byte at `offset`.
bool ContainsByte(const SectionList& list, uint32_t offset);

// The parts of (start, start+length) that no section holds, in ascending order: a received block
// is written only there, so data on disk is never written twice or overwritten.
SectionList UncoveredParts(const SectionList& list, uint32_t start, uint32_t length);

// Takes the range (start, start+length) out of every section (splitting where needed).
void SubtractRange(SectionList& list, uint32_t start, uint32_t length);

// One past the last byte of the highest section (0 for none).
uint64_t HighestEnd(const SectionList& list);

}  // namespace plover
