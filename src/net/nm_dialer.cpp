#include "net/nm_dialer.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "net/child_process.h"

namespace plover {

namespace {

constexpr uint32_t kQueryTimeoutMs = 10000;
constexpr uint32_t kHangUpTimeoutMs = 30000;
constexpr const char* kActivationWaitSec = "90";
constexpr uint32_t kDialTimeoutMs = 100000;  // a little more than nmcli's own wait
constexpr uint32_t kDialFailed = 1;          // the error code of a dial that nmcli refused

std::vector<std::string> Lines(std::string_view text) {
    std::vector<std::string> lines;
    size_t from = 0;
    while (from < text.size()) {
        size_t end = text.find('\n', from);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(from, end - from);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (!line.empty()) lines.emplace_back(line);
        from = end + 1;
    }
    return lines;
}

// "0 (none)" -> 0; a missing or odd value counts as 0 (the password is kept by NetworkManager).
unsigned long LeadingNumber(const std::string& text) {
    char* end = nullptr;
    unsigned long v = std::strtoul(text.c_str(), &end, 10);
    return end == text.c_str() ? 0 : v;
}

std::string Field(const std::map<std::string, std::string>& details, const std::string& name) {
    auto it = details.find(name);
    return it == details.end() || it->second == "--" ? std::string() : it->second;
}

// A private file holding the password for nmcli's passwd-file; removed by its destructor.
class CPasswordFile {
public:
    CPasswordFile(const std::string& setting, const std::string& password) {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/plover-dial-XXXXXX";
        int fd = mkstemp(pattern.data());  // created with mode 0600
        if (fd < 0) return;
        std::string line = setting + ":" + password + "\n";
        bool written = write(fd, line.data(), line.size()) == ssize_t(line.size());
        close(fd);
        if (written)
            path_ = pattern;
        else
            unlink(pattern.c_str());
    }
    ~CPasswordFile() {
        if (!path_.empty()) unlink(path_.c_str());
    }
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

}  // namespace

std::vector<std::string> SplitNmcliTerseLine(std::string_view line) {
    std::vector<std::string> fields(1);
    for (size_t i = 0; i < line.size(); ++i) {
        char c = line[i];
        if (c == '\\' && i + 1 < line.size()) {
            fields.back() += line[++i];
        } else if (c == ':') {
            fields.emplace_back();
        } else {
            fields.back() += c;
        }
    }
    return fields;
}

std::map<std::string, std::string> ParseNmcliDetails(std::string_view output) {
    std::map<std::string, std::string> details;
    for (const std::string& line : Lines(output)) {
        size_t colon = line.find(':');
        if (colon == std::string::npos || colon == 0) continue;
        details.emplace(line.substr(0, colon), line.substr(colon + 1));
    }
    return details;
}

SNmProfile ProfileFromDetails(const std::map<std::string, std::string>& details) {
    SNmProfile p;
    p.type = Field(details, "connection.type");
    std::string flags;
    if (p.type == "gsm" || p.type == "cdma" || p.type == "pppoe") {
        p.userName = Field(details, p.type + ".username");
        p.passwordSetting = p.type + ".password";
        flags = Field(details, p.type + ".password-flags");
        if (p.type != "pppoe") p.number = Field(details, p.type + ".number");
    } else if (p.type == "vpn") {
        p.userName = Field(details, "vpn.user-name");
        p.passwordSetting = "vpn.secrets.password";
    }
    // Flag 2 is "not saved": NetworkManager asks for it on every activation.
    p.passwordSaved = p.passwordSetting.empty() || (LeadingNumber(flags) & 2) == 0;
    return p;
}

CNmDialer::CNmDialer(std::string nmcliPath) : nmcli_(std::move(nmcliPath)) {}

CNmDialer::~CNmDialer() { Shutdown(); }

bool CNmDialer::IsAvailable(std::string* reason) {
    SChildResult r = RunChild({nmcli_, "-t", "-f", "RUNNING", "general"}, kQueryTimeoutMs);
    if (r.Succeeded() && r.out.rfind("running", 0) == 0) return true;
    if (reason) *reason = r.timedOut ? "NetworkManager does not answer" : "NetworkManager is not running";
    return false;
}

bool CNmDialer::ListEntries(std::vector<std::string>& names) {
    SChildResult r = RunChild({nmcli_, "-t", "-f", "NAME", "connection", "show"}, kQueryTimeoutMs);
    if (!r.Succeeded()) return false;
    names.clear();
    for (const std::string& line : Lines(r.out)) names.push_back(SplitNmcliTerseLine(line)[0]);
    return true;
}

bool CNmDialer::ReadProfile(const std::string& entry, SNmProfile& profile) {
    if (entry.empty()) return false;
    SChildResult r = RunChild({nmcli_, "-t", "connection", "show", "id", entry}, kQueryTimeoutMs);
    if (!r.Succeeded()) return false;
    auto details = ParseNmcliDetails(r.out);
    if (details.empty()) return false;
    profile = ProfileFromDetails(details);
    return true;
}

bool CNmDialer::GetEntryDialParams(SDialParams& params, bool& passwordSaved) {
    SNmProfile profile;
    if (!ReadProfile(params.entryName, profile)) return false;
    params.userName = profile.userName;
    params.password.clear();  // NetworkManager keeps a saved password to itself
    passwordSaved = profile.passwordSaved;
    return true;
}

bool CNmDialer::GetEntryPhoneNumber(const std::string& entry, std::string& number) {
    SNmProfile profile;
    if (!ReadProfile(entry, profile)) return false;
    number = profile.number;
    return true;
}

bool CNmDialer::Dial(const SDialParams& params, DialNotifyFn notify, DialConnection& connection) {
    SNmProfile profile;
    if (shutDown_ || !ReadProfile(params.entryName, profile)) return false;
    JoinFinishedDials();
    connection = HandleFor(params.entryName);
    auto job = std::make_unique<SDialJob>();
    SDialJob* raw = job.get();
    std::lock_guard g(lock_);
    try {
        job->thread = std::thread(&CNmDialer::RunDial, this, params, profile, std::move(notify), raw);
    } catch (const std::system_error&) {
        return false;
    }
    jobs_.push_back(std::move(job));
    return true;
}

void CNmDialer::RunDial(SDialParams params, SNmProfile profile, DialNotifyFn notify, SDialJob* job) {
    std::vector<std::string> argv = {nmcli_, "--wait", kActivationWaitSec, "connection", "up", "id", params.entryName};
    std::unique_ptr<CPasswordFile> secret;
    if (!params.password.empty() && !profile.passwordSetting.empty()) {
        secret = std::make_unique<CPasswordFile>(profile.passwordSetting, params.password);
        if (!secret->Path().empty()) argv.insert(argv.end(), {"passwd-file", secret->Path()});
    }
    SChildResult r = RunChild(argv, kDialTimeoutMs, cancel_.GetHandle());
    secret.reset();
    if (!shutDown_ && !r.cancelled) {
        if (r.Succeeded())
            notify(kDialStateConnected, 0);
        else
            notify(0, r.exitCode > 0 ? uint32_t(r.exitCode) : kDialFailed);
    }
    job->done = true;
}

void CNmDialer::JoinFinishedDials() {
    std::vector<std::unique_ptr<SDialJob>> finished;
    {
        std::lock_guard g(lock_);
        for (auto it = jobs_.begin(); it != jobs_.end();) {
            if ((*it)->done) {
                finished.push_back(std::move(*it));
                it = jobs_.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (auto& job : finished) job->thread.join();
}

bool CNmDialer::HangUp(DialConnection connection) {
    std::string entry = EntryOf(connection);
    if (entry.empty()) return false;
    return RunChild({nmcli_, "connection", "down", "id", entry}, kHangUpTimeoutMs).Succeeded();
}

bool CNmDialer::EnumConnections(std::vector<SActiveConnection>& connections, size_t max) {
    SChildResult r = RunChild({nmcli_, "-t", "-f", "NAME,STATE", "connection", "show", "--active"}, kQueryTimeoutMs);
    if (!r.Succeeded()) return false;
    connections.clear();
    for (const std::string& line : Lines(r.out)) {
        if (connections.size() >= max) break;
        std::vector<std::string> f = SplitNmcliTerseLine(line);
        if (f[0].empty() || (f.size() > 1 && f[1] == "deactivating")) continue;
        connections.push_back({HandleFor(f[0]), f[0]});
    }
    return true;
}

void CNmDialer::Shutdown() {
    shutDown_ = true;
    cancel_.Set();
    std::vector<std::unique_ptr<SDialJob>> jobs;
    {
        std::lock_guard g(lock_);
        jobs.swap(jobs_);
    }
    for (auto& job : jobs) job->thread.join();
}

DialConnection CNmDialer::HandleFor(const std::string& entry) {
    std::lock_guard g(lock_);
    auto it = handles_.find(entry);
    if (it != handles_.end()) return it->second;
    DialConnection h = handles_.size() + 1;
    handles_.emplace(entry, h);
    return h;
}

std::string CNmDialer::EntryOf(DialConnection handle) {
    std::lock_guard g(lock_);
    for (const auto& [name, h] : handles_)
        if (h == handle) return name;
    return {};
}

}  // namespace plover
