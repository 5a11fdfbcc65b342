#pragma once
// CApp: the application's start-up and shutdown, for every front end.
//
//   CApp app;                                   // one per process
//   if (app.Init(homes, ProgramParts()) != CApp::EStart::Running) return 1;  // lock + settings
//   app.StartEngines();                         // registers the engines in order (starts them)
//   app.RunMessageLoop(onMessage);              // until SIGINT/SIGTERM (EnableQuitOnSignals) or Quit()
//   app.Shutdown();                             // engines stopped in reverse order, then saved
//
// Init, in order: takes the instance lock ("Plover is already running." when another process
// holds it), sets the traffic-mode defaults and the connection type, reads the settings store
// (a damaged one is kept aside with a warning) and loads the main settings, then the site logins;
// then the initialized flag is set, which alone lets Shutdown save anything.
//
// The CApp plays the main window: its message queue (MainWindow()) is where the engine manager
// posts WM_PV_ENGINES_STOPPED, and where signals become a quit request. Shutdown, when
// initialized: the parts' closing hook, StopAllEngines and a wait for WM_PV_ENGINES_STOPPED (other
// messages still reach the handler), the exit hook (the image loader stops), the site logins
// saved, the main settings saved unless the uninstalled flag is set, the store written, the lock
// released.
//
// A reader (EAccess::Reader: a command that only shows what is stored) works while another
// instance of the same home runs: the stored files are always saved whole (a temporary file
// renamed over the old one), so it reads either the old or the new one, and changes none of them
// (a damaged one stays where it is for its owner to keep aside). When no other instance runs it
// holds the lock for its run and treats the files as any start does. Its Shutdown saves nothing.
//
// Installation and uninstallation runs ("/BRInst", "/BRUninst") go through RunSetup instead: it
// refuses with "Plover is already running. Close it and restart the installation." while
// another instance runs, otherwise holds the lock while the action runs.
#include <functional>
#include <string>
#include <vector>

#include "app/reg_key.h"
#include "app/settings.h"
#include "app/signal_watch.h"
#include "engine/engine.h"
#include "engine/engine_mgr.h"
#include "platform/homes.h"
#include "platform/instance_lock.h"
#include "platform/window.h"

namespace plover {

inline constexpr const char* kAlreadyRunningMessage = "Plover is already running.";
inline constexpr const char* kAlreadyRunningSetupMessage =
    "Plover is already running. Close it and restart the installation.";

// Posted to the main window when the user asks the program to quit (SIGINT, SIGTERM, Quit()).
constexpr uint32_t WM_PV_QUIT = WM_APP + 0xF00;

// One engine of the program: its identifier, how to make it (a new engine that has not been
// started, carrying its creation reference), and what to do right after it is registered.
struct SEngineEntry {
    GUID id;
    IEngine* (*create)() = nullptr;
    void (*afterRegister)(IEngine* engine) = nullptr;  // e.g. the downloader's save filter
};

// What the parts of the program plug into start-up and shutdown. Unset members are skipped.
struct SAppParts {
    std::vector<SEngineEntry> engines;  // in registration order
    // Stored with the main settings, in this order (see settings.h).
    SettingsGroupFn proxyRecords, baskets, scanProfiles, searchSites;
    std::function<void()> defaultFilters;  // creates the default download filters when none exist
    // The site logins under "Sites", loaded at start-up and saved at exit; given the program's key.
    std::function<void(CBRRegKey& ploverKey, bool load)> siteLogins;
    std::function<void()> afterEnginesStarted;  // loads what the last exit saved (page cache index)
    std::function<void()> beforeEnginesStop;    // saves it again ("closing")
    std::function<void()> onExit;               // first step of the exit handler (image loader stop)
};

class CApp {
public:
    enum class EStart { Running, AlreadyRunning, Failed };
    enum class EAccess { Owner, Reader };
    using MessageHandler = std::function<void(const SWindowMessage&)>;

    // mgr: the engine manager (the process-wide one by default; tests pass their own).
    explicit CApp(IEngineMgr* mgr = GetEngineMgr()) : mgr_(mgr) {}
    ~CApp();
    CApp(const CApp&) = delete;
    CApp& operator=(const CApp&) = delete;

    // Every failure is shown (ShowMessage) before it is returned.
    EStart Init(const SHomes& homes, const SAppParts& parts, EAccess access = EAccess::Owner);
    bool IsInitialized() const { return initialized_; }

    // Registers the engines in order; an engine whose identifier is taken is released unstarted.
    // Then the parts' afterEnginesStarted hook. Returns how many engines were registered.
    size_t StartEngines();

    // SIGINT and SIGTERM become WM_PV_QUIT from now on. Call on the main thread before
    // StartEngines (threads inherit the blocked signals).
    bool EnableQuitOnSignals();
    HWND MainWindow() { return &window_; }
    // Asks the message loop to end (any thread).
    void Quit() { PostMessage(&window_, WM_PV_QUIT, 0, 0); }
    // Hands every message but WM_PV_QUIT to handler until WM_PV_QUIT arrives; the handler is kept
    // for Shutdown's wait.
    void RunMessageLoop(MessageHandler handler = nullptr);

    // The orderly end described above; only the first call acts, and only when initialized.
    // False when the settings could not be written (the reason is shown).
    bool Shutdown();

    // Set by an uninstallation: nothing is saved at exit.
    void SetUninstalled() { uninstalled_ = true; }

    const SHomes& Homes() const { return homes_; }

private:
    void LoadStore();
    void Dispatch(const SWindowMessage& m);

    IEngineMgr* mgr_;
    SAppParts parts_;
    SHomes homes_;
    CInstanceLock lock_;
    CMessageQueueWindow window_;
    CSignalWatcher signals_;
    MessageHandler handler_;
    bool initialized_ = false;
    bool uninstalled_ = false;
    bool reader_ = false;
    bool filesInUse_ = false;  // a reader without the lock: no stored file is changed
    bool shutDown_ = false;
};

// An installation or uninstallation run: false (the setup message shown) while another instance
// holds the lock; otherwise runs action under the lock and returns its result.
bool RunSetup(const SHomes& homes, const std::function<bool()>& action);

}  // namespace plover
