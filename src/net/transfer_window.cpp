#include "net/transfer_window.h"

#include <algorithm>

namespace plover {

void STransferWindow::Roll(uint32_t now) {
    if (now - dwStart >= kWindowMs) {
        dwStart = now;
        dwUsed = 0;
        bExhausted = 0;
    }
}

void STransferWindow::Consume(uint32_t n, uint32_t now) {
    dwUsed += n;
    Roll(now);
}

uint32_t STransferWindow::Allowance(uint32_t quotaPerSecond, uint32_t sockets, uint32_t now) {
    Roll(now);
    if (bExhausted) return kNone;
    uint32_t share = quotaPerSecond / 5;
    if (dwUsed < share) return std::min(share / std::max(sockets, 1u), share - dwUsed);
    bExhausted = 1;
    return kNone;
}

uint32_t ReadLimit(bool throttled, bool firstRead, bool closeInBatch, STransferWindow& window,
                   uint32_t quotaPerSecond, uint32_t sockets, uint32_t now) {
    if (!throttled || firstRead || closeInBatch) return kMaxSocketRead;
    uint32_t allowance = window.Allowance(quotaPerSecond, sockets, now);
    if (allowance == STransferWindow::kNone) return 0;
    return std::min(allowance, kMaxSocketRead);
}

}  // namespace plover
