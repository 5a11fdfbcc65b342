#pragma once
// One step of a relocation request, the relocator's unit of work per timer tick:
//
//   not started: read the source's size; when source and target are on one filesystem, rename
//                the file (done at once: the whole size is the progress); otherwise open the
//                source (0x10004 when it cannot be) and create the temporary copy beside the
//                target (0x10006 when it cannot be), and go on copying in this same step;
//   copying:     one block of at most `blockSize` bytes from the source to the copy (0x10005 when
//                the read fails or the source ends early, 0x10007 when the write fails); when all
//                bytes are there the copy is flushed to disk and takes the target's name (0x10007
//                when that fails), then the source is deleted (0x10008 when it cannot be; the copy
//                is then removed, so the file stays where it was).
//
// Errors end the request with their code as its result. Nothing is reported from here: the
// caller reports progress when `progressed` is true and the end when the result is no longer
// "copying".
#include <cstddef>
#include <cstdint>

#include "download/reloc_info.h"

namespace plover {

struct SRelocStep {
    bool progressed = false;  // bytes were moved in this step (or the rename moved them all)
};

// `tryRename` false always copies (tests of the copy use it on one filesystem).
SRelocStep StepRelocation(CRelocInfo& request, uint8_t* buffer, size_t blockSize, bool tryRename = true);

}  // namespace plover
