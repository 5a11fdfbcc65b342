#pragma once
// CCliApp: how a command brings Plover up and down. Every command that works on the home
// (settings, downloads, scans, baskets) makes one; a long-running one also starts the engines
// and waits for SIGINT/SIGTERM:
//
//   void RunDownload(CliContext& ctx) {
//       CCliApp app(ctx);
//       if (!app.Start(CCliApp::kEngines)) return;   // lock, settings, engines; exitCode set on failure
//       ... post work to the engines (GetEngineMgr()->GetEngine(...)) ...
//       app.RunUntilQuit(onMessage);                 // SIGINT/SIGTERM, or app.App().Quit() from a handler
//   }                                                // destructor: engines stopped in reverse order, saved
//
// Start takes the instance lock (a second instance prints "Plover is already running." and the
// command exits 1), loads the settings store and the main settings. Stop (or the destructor)
// runs the orderly shutdown of app/app.h; a failed save makes the exit status 1.
#include "app/app.h"
#include "cli/command.h"

namespace plover::cli {

class CCliApp {
public:
    enum EStartFlags : unsigned {
        kSettingsOnly = 0,
        kEngines = 1,  // register the program's engines; SIGINT/SIGTERM then quit in order
        // Only show what is stored: it works while another Plover of the home runs (without the
        // instance lock, changing no file), and saves nothing at the end. Not with kEngines.
        kReadOnly = 2,
    };

    explicit CCliApp(CliContext& ctx) : ctx_(ctx) {}
    ~CCliApp() { Stop(); }
    CCliApp(const CCliApp&) = delete;
    CCliApp& operator=(const CCliApp&) = delete;

    // False when Plover cannot start here (ctx.exitCode is then 1 and the reason was shown).
    bool Start(unsigned flags = kSettingsOnly);
    // Runs the main window's message loop until SIGINT, SIGTERM or App().Quit().
    void RunUntilQuit(CApp::MessageHandler handler = nullptr);
    // The orderly shutdown; false (and ctx.exitCode 1) when the settings could not be saved.
    bool Stop();

    CApp& App() { return app_; }
    // After a failed Start: whether another Plover of the home holds the lock.
    bool OtherIsRunning() const { return started_ == CApp::EStart::AlreadyRunning; }

private:
    CliContext& ctx_;
    CApp app_;
    CApp::EStart started_ = CApp::EStart::Failed;
};

// The homes of this run: --home / PLOVER_HOME, else the XDG folders.
SHomes HomesOf(const CliContext& ctx);

// The installation and uninstallation runs ("--install"/"/BRInst", "--uninstall"/"/BRUninst").
int RunInstall(const CliContext& ctx);
int RunUninstall(const CliContext& ctx);

}  // namespace plover::cli
