// Fuzz target for the page scanner: the input is every page of a site (the start page and each
// page it leads to answer with the same bytes; pictures answer too). The scan runs as its engine
// would run it, under a recursive profile with every result collected, and must end: nothing
// queued or in flight, the end notice posted once, every notice freed.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <string>

#include "scan/i_scanner.h"
#include "scan/scanner.h"

namespace plover {
namespace {

class CFile final : public IWebFile {
public:
    CFile(std::string url, std::string path) : url_(std::move(url)), path_(std::move(path)) {}
    HRESULT QueryInterface(const GUID&, void** out) override {
        if (out) *out = nullptr;
        return E_NOINTERFACE;
    }
    uint32_t AddRef() override { return refs_.Add(); }
    uint32_t Release() override {
        uint32_t left = refs_.Drop();
        if (!left) delete this;
        return left;
    }
    std::string GetURL() override { return url_; }
    std::string GetEffectiveURL() override { return url_; }
    std::string GetLocalPath() override { return path_; }
    void SetEffectiveURL(const std::string&) override {}
    void SetLocalPath(const std::string&) override {}
    std::string GetStatusText() override { return "Not found"; }
    bool IsDownload(IDownload* d) override { return !d; }
    void Cancel() override {}
    int GetPriority() override { return 5; }
    void SetPriority(int) override {}
    bool GetDownload(IDownload** out) override {
        *out = nullptr;
        return false;
    }
    void SetRevalidation(const std::string&, const std::string&) override {}
    void NotifyComplete() override {}
    void NotifyFailed(uint32_t) override {}
    void NotifyWaiting() override {}

private:
    ~CFile() = default;
    RefCount refs_;
    std::string url_, path_;
};

class CSite final : public IPageMgr {
public:
    explicit CSite(std::string path) : path_(std::move(path)) {}
    HRESULT QueryInterface(const GUID&, void** out) override {
        if (out) *out = nullptr;
        return E_NOINTERFACE;
    }
    uint32_t AddRef() override { return 1; }
    uint32_t Release() override { return 1; }
    bool RequestFile(const std::string& url, const std::string&, bool, IPageStatusCallback*, IWebFile** out) override {
        if (url.empty()) return false;
        auto file = RefPtr<CFile>::Adopt(new CFile(url, path_));
        pending.emplace_back(static_cast<IWebFile*>(file.Get()));
        *out = file.Detach();
        return true;
    }
    bool MoveCacheFiles(const std::string&) override { return false; }
    void ClearCache() override {}
    int GetCachedCount() override { return 0; }
    uint64_t GetCacheSize() override { return 0; }
    int GetPendingCount() override { return 0; }
    std::deque<RefPtr<IWebFile>> pending;

private:
    std::string path_;
};

std::string PagePath() {
    static std::string path = [] {
        char name[] = "/tmp/fuzz_scanner_XXXXXX";
        int fd = mkstemp(name);
        if (fd >= 0) close(fd);
        return std::string(name);
    }();
    return path;
}

}  // namespace
}  // namespace plover

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace plover;
    std::string path = PagePath();
    if (FILE* f = fopen(path.c_str(), "wb")) {
        fwrite(data, 1, size, f);
        fclose(f);
    }
    CSite site(path);
    CMessageQueueWindow window;
    SScanRequest request;
    request.url = "http://h/g/page1.html";
    request.profile.bLinks = 1;
    request.profile.bRecurse = 1;
    request.profile.iDepth = 3;
    request.notify = &window;
    RefPtr<CScanner> scanner = CScanner::Create(request, &site, nullptr, nullptr);
    scanner->Start();
    int answers = 0;
    while (!site.pending.empty()) {
        RefPtr<IWebFile> file = site.pending.front();
        site.pending.pop_front();
        // Every fifth file fails, the others are the input.
        if (++answers % 5 == 0)
            scanner->HandlePageFailed(file.Get());
        else
            scanner->HandlePageComplete(file.Get());
        scanner->Tick();
    }
    scanner->Tick();
    int ended = 0;
    while (auto m = window.GetMessage(0)) {
        ended += m->msg == WM_SCAN_ENDED;
        FreeScanNotice(m->msg, m->wp, m->lp);
    }
    if (ended != 1 || scanner->GetRemainingCount() != 0 || scanner->IsBusy()) abort();
    return 0;
}
