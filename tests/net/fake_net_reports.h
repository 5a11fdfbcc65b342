#pragma once
// A receiver of the network layer's reports that records what it hears; installed while it lives.
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>
#include "net/net_reports.h"

namespace plover::test {

enum EHeard : uint32_t { HEARD_LOG, HEARD_ESTABLISHED, HEARD_TRAFFIC, HEARD_PROXY_CHANGED };

struct SHeard {
    uint32_t what;
    std::string text;
    uint32_t value;  // the log kind, or the bytes received
};

class CFakeNetReports final : public INetReports {
public:
    CFakeNetReports() { InstallNetReports(this); }
    ~CFakeNetReports() { InstallNetReports(nullptr); }

    void OnTrafficReceived(uint32_t bytes) override { Add({HEARD_TRAFFIC, "", bytes}); }
    void OnProxySettingsChanged() override { Add({HEARD_PROXY_CHANGED, "", 0}); }
    void OnDialUpLog(const char* text, uint32_t kind) override { Add({HEARD_LOG, text ? text : "", kind}); }
    void OnDialUpEstablished() override { Add({HEARD_ESTABLISHED, "", 0}); }

    std::vector<SHeard> Heard() {
        std::lock_guard g(lock_);
        return heard_;
    }
    int Count(uint32_t what, const std::string& text = {}) {
        int n = 0;
        for (const SHeard& h : Heard()) n += h.what == what && (text.empty() || h.text == text);
        return n;
    }
    uint64_t TrafficTotal() {
        uint64_t total = 0;
        for (const SHeard& h : Heard()) total += h.what == HEARD_TRAFFIC ? h.value : 0;
        return total;
    }

private:
    void Add(SHeard heard) {
        std::lock_guard g(lock_);
        heard_.push_back(std::move(heard));
    }
    std::mutex lock_;
    std::vector<SHeard> heard_;
};

}  // namespace plover::test
