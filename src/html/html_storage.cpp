#include "html/html_storage.h"

namespace plover::html {

char* CByteArena::Allocate(size_t size) {
    if (size > left_) {
        if (size > kBlockSize / 4) {
            // A large string gets a block of its own, so the current block's rest is not wasted.
            if (blocks_.empty()) firstIsRegular_ = false;
            blocks_.push_back(std::make_unique_for_overwrite<char[]>(size));
            reserved_ += size;
            return blocks_.back().get();
        }
        blocks_.push_back(std::make_unique_for_overwrite<char[]>(kBlockSize));
        if (blocks_.size() == 1) firstIsRegular_ = true;
        reserved_ += kBlockSize;
        next_ = blocks_.back().get();
        left_ = kBlockSize;
    }
    char* out = next_;
    next_ += size;
    left_ -= size;
    return out;
}

void CByteArena::Clear() {
    if (!firstIsRegular_) blocks_.clear();
    if (blocks_.size() > 1) blocks_.resize(1);
    reserved_ = blocks_.empty() ? 0 : kBlockSize;
    next_ = blocks_.empty() ? nullptr : blocks_[0].get();
    left_ = blocks_.empty() ? 0 : kBlockSize;
}

}  // namespace plover::html
