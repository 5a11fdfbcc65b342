// plover dialup status [--json] | dial [--attempts N] [--interval S] | hangup | use NAME: the
// dial-up connection ("csActiveDialUp", a NetworkManager connection profile) through the dial-up
// engine. `status` never starts the engines and never waits long: without NetworkManager it says
// "no dialer available". `dial` hands the engine a request (by default "AutoDial"'s attempts and
// interval) and stays until the connection is up (status 0) or the attempts are used up (1),
// printing the engine's log lines; Ctrl-C ends the request (130). A connection that needs a
// password that nobody saved is asked for on the terminal, with the offer to remember it.
#include <atomic>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>

#include "cli/json_lines.h"
#include "cli/cli_kit.h"
#include "cli/app_session.h"
#include "cli/command.h"
#include "cli/terminal.h"
#include "cli/window_ticker.h"
#include "download/i_downloader.h"
#include "engine/engine_mgr.h"
#include "net/dialup_engine.h"
#include "platform/tick.h"

namespace plover::cli {
namespace {

constexpr uint32_t WM_DIALUP_CLI_LINE = WM_APP + 0x7B1;  // wp = std::string* (owned), lp = log kind
constexpr uint32_t WM_DIALUP_CLI_TICK = WM_APP + 0x7B2;
constexpr uint32_t kTickMs = 250;

struct SDialOptions {
    std::optional<uint32_t> attempts;
    std::optional<uint32_t> interval;
};

// What a dialer says of itself: its name, or "no dialer available (why)".
std::string DialerText(IDialer& dialer, bool& available) {
    std::string reason;
    available = dialer.IsAvailable(&reason);
    return available ? dialer.Name() : std::string(kNoDialerMessage) + " (" + reason + ")";
}

bool KnowsEntry(IDialer& dialer, const std::string& name, std::vector<std::string>& names) {
    if (!dialer.ListEntries(names)) return true;  // cannot tell: let the dial say
    for (const std::string& n : names)
        if (n == name) return true;
    return false;
}

std::string Joined(const std::vector<std::string>& names) {
    std::string out;
    for (const std::string& n : names) out += (out.empty() ? "" : ", ") + n;
    return out.empty() ? "none" : out;
}

void Status(CliContext& ctx, bool json) {
    CCliApp app(ctx);
    if (!app.Start()) return;
    const CRegistrySettings& s = GetSettings();
    std::unique_ptr<IDialer> dialer = CreateSystemDialer();
    bool available = false;
    std::string dialerText = DialerText(*dialer, available);
    DialConnection handle = 0;
    bool connected = available && FindEntryConnection(*dialer, s.csActiveDialUp, handle);
    std::vector<std::string> entries;
    if (available) dialer->ListEntries(entries);
    if (json) {
        nlohmann::json j = {{"type", "dialup"},         {"dialer", dialerText},     {"available", available},
                            {"entry", s.csActiveDialUp}, {"connected", connected},
                            {"entries", entries},        {"autoDial", s.AutoDial.On != 0},
                            {"attempts", s.AutoDial.Times}, {"interval", s.AutoDial.Sec}};
        WriteJsonLine(std::cout, j);
        return;
    }
    std::cout << "Dialer:      " << dialerText << "\n"
              << "Entry:       " << (s.csActiveDialUp.empty() ? "none chosen (plover dialup use NAME)" : s.csActiveDialUp)
              << "\n";
    if (available) {
        if (!s.csActiveDialUp.empty()) std::cout << "Connection:  " << (connected ? "up" : "down") << "\n";
        std::cout << "Entries:     " << Joined(entries) << "\n";
    }
    std::cout << "Dialling:    " << s.AutoDial.Times << " attempts, " << s.AutoDial.Sec << " s apart"
              << (s.AutoDial.On ? "; automatic when Plover starts" : "") << "\n";
}

void Use(CliContext& ctx, const std::string& name) {
    CCliApp app(ctx);
    if (!app.Start()) return;
    std::unique_ptr<IDialer> dialer = CreateSystemDialer();
    bool available = false;
    std::string dialerText = DialerText(*dialer, available);
    std::vector<std::string> names;
    if (available && !name.empty() && !KnowsEntry(*dialer, name, names)) {
        Complain() << dialer->Name() << " has no connection \"" << name << "\" (it has: " << Joined(names)
                  << ")\n";
        ctx.exitCode = 1;
        return;
    }
    GetSettings().csActiveDialUp = name;
    if (!app.Stop()) return;
    if (name.empty())
        std::cout << "No dial-up entry is chosen now.\n";
    else
        std::cout << "Dial-up entry: " << name << "\n";
    if (!name.empty() && !available) std::cout << "Note: " << dialerText << " on this machine.\n";
}

// Carries the dial-up engine's log lines (kinds 14 to 17) to the main window.
class CDialUpLogSink final : public CCommandNetSink {
public:
    explicit CDialUpLogSink(HWND window) : window_(window) {}
    int32_t OnNetNotify(uint32_t code, uintptr_t value1, uintptr_t value2) override {
        if (code == NE_DIALUP_ESTABLISHED) established = true;
        if (code == NE_LOG && value2 >= kLogDialUpDialing && value2 <= LOG_DIALUP_FAILED && value1)
            PostMessage(window_, WM_DIALUP_CLI_LINE, reinterpret_cast<uintptr_t>(new std::string(reinterpret_cast<const char*>(value1))),
                        value2);
        return 0;
    }
    std::atomic<bool> established{false};

private:
    HWND window_;
};

// One dial-up command run with the engines: the engine, the log sink on the downloader, the
// terminal's login question, and the loop that prints the lines and watches the engine.
class CDialUpSession {
public:
    explicit CDialUpSession(CliContext& ctx) : ctx_(ctx), app_(ctx) {}
    ~CDialUpSession() { End(); }

    // Starts Plover with its engines and checks that a dial can be made; false (status set) if not.
    bool Start();
    int Dial(const SDialOptions& options);
    int HangUp();

private:
    void OnMessage(const SWindowMessage& m, bool dialling);
    bool AskLogin(const std::string& entry, SDialUpLogin& login);
    void End();

    CliContext& ctx_;
    CCliApp app_;
    RefPtr<IDialUpEngine> engine_;
    RefPtr<IDownloader> downloader_;
    std::unique_ptr<CDialUpLogSink> sink_;
    std::atomic<bool> quitting_{false};
    std::atomic<bool> loginRefused_{false};
    bool ended_ = false;
    std::optional<int32_t> autoDialOn_;  // the setting as loaded
};

bool CDialUpSession::Start() {
    if (!app_.Start()) return false;
    // The command itself says what to dial: automatic dialling stays off while it runs (and is
    // stored unchanged at the end), or the engine would start a request of its own first.
    autoDialOn_ = GetSettings().AutoDial.On;
    GetSettings().AutoDial.On = 0;
    app_.App().EnableQuitOnSignals();
    app_.App().StartEngines();
    std::unique_ptr<IDialer> dialer = CreateSystemDialer();
    bool available = false;
    std::string dialerText = DialerText(*dialer, available);
    const std::string& entry = GetSettings().csActiveDialUp;
    std::vector<std::string> names;
    std::string refusal;
    if (!available)
        refusal = dialerText;
    else if (entry.empty())
        refusal = "no dial-up entry is chosen (plover dialup use NAME)";
    else if (!KnowsEntry(*dialer, entry, names))
        refusal = dialer->Name() + " has no connection \"" + entry + "\" (it has: " + Joined(names) + ")";
    RefPtr<IEngine> engine;
    if (refusal.empty() && GetEngineMgr()->GetEngine(ENGINE_ID_DIALUP, engine.Put()))
        engine_ = QueryAs<IDialUpEngine>(engine.Get(), IID_IDialUpEngine);
    if (refusal.empty() && !engine_) refusal = "the dial-up engine is not available";
    if (!refusal.empty()) {
        Complain() << refusal << "\n";
        ctx_.exitCode = 1;
        return false;
    }
    if (GetEngineMgr()->GetEngine(ENGINE_ID_DOWNLOADER, engine.Put()))
        downloader_ = QueryAs<IDownloader>(engine.Get(), IID_IDownloader);
    sink_ = std::make_unique<CDialUpLogSink>(app_.App().MainWindow());
    if (downloader_) downloader_->Advise(sink_.get());
    SetDialUpLoginPrompt([this](const std::string& e, SDialUpLogin& login) { return AskLogin(e, login); });
    return true;
}

bool CDialUpSession::AskLogin(const std::string& entry, SDialUpLogin& login) {
    if (!StdinIsTerminal()) {
        Complain() << entry << " needs a user name and password: run plover dialup dial on a terminal to "
                                            "enter them\n";
        loginRefused_ = true;
        PostMessage(app_.App().MainWindow(), WM_DIALUP_CLI_TICK, 0, 0);
        return false;
    }
    auto cancelled = [this] { return quitting_.load(); };
    std::cerr << "Login for " << entry << "\n";
    auto user = AskLine("User name" + (login.userName.empty() ? std::string() : " [" + login.userName + "]") + ": ",
                        false, cancelled);
    if (!user) return false;
    if (!user->empty()) login.userName = *user;
    auto password = AskLine("Password: ", true, cancelled);
    if (!password) return false;
    login.password = *password;
    auto remember = AskLine("Remember them for later dials? [Y/n] ", false, cancelled);
    if (!remember) return false;
    login.remember = remember->empty() || (*remember)[0] == 'y' || (*remember)[0] == 'Y';
    return true;
}

void CDialUpSession::OnMessage(const SWindowMessage& m, bool dialling) {
    if (m.msg == WM_DIALUP_CLI_LINE) {
        std::unique_ptr<std::string> line(reinterpret_cast<std::string*>(m.wp));
        std::cout << *line << std::endl;
        return;
    }
    if (m.msg != WM_DIALUP_CLI_TICK || !dialling || quitting_) return;
    if (loginRefused_ || (!engine_->HasRequest() && engine_->GetState() == DIALUP_IDLE)) {
        quitting_ = true;
        app_.App().Quit();
    }
}

int CDialUpSession::Dial(const SDialOptions& options) {
    const SAutoDial& autoDial = GetSettings().AutoDial;
    auto* request = new SDialRequest{options.attempts.value_or(autoDial.Times), options.interval.value_or(autoDial.Sec)};
    if (request->maxAttempts == 0) request->maxAttempts = 1;
    engine_->Dial(request);
    bool finished = false;
    {
        CWindowTicker ticker(app_.App().MainWindow(), WM_DIALUP_CLI_TICK, kTickMs);
        app_.RunUntilQuit([&](const SWindowMessage& m) {
            OnMessage(m, true);
            finished = quitting_;
        });
        quitting_ = true;  // a login question still open gives up
    }
    bool up = sink_->established;
    if (!finished) engine_->ClearRequest();
    End();
    if (!finished) {
        std::cerr << "Interrupted: the dial was given up.\n";
        return 130;
    }
    if (up) return ctx_.exitCode;
    if (!loginRefused_) Complain() << "the connection could not be established\n";
    return 1;
}

int CDialUpSession::HangUp() {
    bool wasUp = engine_->FindActiveConnection();
    engine_->ClearRequest();
    engine_->HangUp(true);
    End();
    if (!wasUp) std::cout << "(" << GetSettings().csActiveDialUp << " was not connected)\n";
    return ctx_.exitCode;
}

// Lets the engines go: the sink leaves the downloader, the last lines are printed while Plover
// stops, and the login question is the front end's no more.
void CDialUpSession::End() {
    if (ended_) return;
    ended_ = true;
    if (downloader_ && sink_) downloader_->Unadvise(sink_.get());
    quitting_ = true;
    // Everything posted so far comes before this quit: the loop prints it, and its handler stays
    // for the messages that arrive while the engines stop.
    app_.App().Quit();
    app_.RunUntilQuit([this](const SWindowMessage& m) { OnMessage(m, false); });
    if (autoDialOn_) GetSettings().AutoDial.On = *autoDialOn_;
    app_.Stop();
    SetDialUpLoginPrompt(nullptr);
}

void Setup(CLI::App& app, CliContext& ctx) {
    auto* cmd = app.add_subcommand("dialup", "The dial-up connection: status, dial, hang up, choose the entry");
    cmd->require_subcommand(1);

    auto json = std::make_shared<bool>(false);
    auto* status = cmd->add_subcommand("status", "The dialer, the chosen entry and whether it is connected");
    status->add_flag("--json", *json, "One JSON line");
    status->callback([&ctx, json] { Status(ctx, *json); });

    auto options = std::make_shared<SDialOptions>();
    auto* dial = cmd->add_subcommand("dial", "Dial the chosen entry and wait until it is up or every attempt failed");
    dial->add_option("--attempts", options->attempts, "How many attempts (default: AutoDial/Times)");
    dial->add_option("--interval", options->interval, "Seconds between attempts (default: AutoDial/Sec)")
        ->type_name("S");
    dial->callback([&ctx, options] {
        CDialUpSession session(ctx);
        if (session.Start()) ctx.exitCode = session.Dial(*options);
    });

    auto* hangup = cmd->add_subcommand("hangup", "Hang up the chosen entry's connection");
    hangup->callback([&ctx] {
        CDialUpSession session(ctx);
        if (session.Start()) ctx.exitCode = session.HangUp();
    });

    auto name = std::make_shared<std::string>();
    auto* use = cmd->add_subcommand("use", "Choose the entry (a NetworkManager connection) that Plover dials");
    use->add_option("NAME", *name, "The connection's name; \"\" chooses none")->required();
    use->callback([&ctx, name] { Use(ctx, *name); });
}

CommandRegistrar registrar("dialup", Setup);

}  // namespace
}  // namespace plover::cli
