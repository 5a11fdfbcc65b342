#pragma once
// What every command of the command line shares: its exit statuses, the way a refusal or failure
// is written, the engines it asks for, the progress line it keeps up to date while it works, and
// the colour of status words.
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "download/i_downloader.h"
#include "engine/engine_mgr.h"
#include "platform/com.h"

namespace plover::cli {

// The exit statuses of every command.
constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;        // a job or a part of it failed, or it was refused
constexpr int kExitUsage = 2;         // unknown command or option, missing argument, bad value
constexpr int kExitInterrupted = 130; // Ctrl-C (SIGINT) or SIGTERM before the job ended

// Progress on a stream that is not a terminal: one plain line at most this often.
constexpr uint32_t kPlainProgressMs = 5000;

// Standard error with "plover: " written, for the rest of a refusal or failure line.
std::ostream& Complain();
// Writes "plover: message" as one line to standard error and gives `status`, so that a refusal
// is one statement: `return Refuse(kExitUsage, "not an HTTP or FTP address: " + url);`
int Refuse(int status, const std::string& message);

// The engine `id` of this run as the interface `iid`; null after saying "the NAME is not
// available" when it is not running.
template <class Interface>
RefPtr<Interface> EngineOrSay(const GUID& id, const GUID& iid, const char* name) {
    RefPtr<IEngine> engine;
    RefPtr<Interface> out;
    if (GetEngineMgr()->GetEngine(id, engine.Put())) out = QueryAs<Interface>(engine.Get(), iid);
    if (!out) Complain() << "the " << name << " is not available\n";
    return out;
}
inline RefPtr<IDownloader> DownloaderOrSay() {
    return EngineOrSay<IDownloader>(ENGINE_ID_DOWNLOADER, IID_IDownloader, "downloader");
}

// A listener to the downloader that its command keeps (on the stack or in a session) for longer
// than it is advised: no counting, and it answers only as an INetAdviseSink. Commands derive their
// listeners from it and write only OnNetNotify.
class CCommandNetSink : public INetAdviseSink {
public:
    HRESULT QueryInterface(const GUID& iid, void** out) override;
    uint32_t AddRef() override { return 1; }
    uint32_t Release() override { return 1; }

protected:
    ~CCommandNetSink() = default;
};

// ---- Terminal width and colour ----

// The width of the terminal behind a stream: what the terminal says, else COLUMNS, else 80.
int TerminalColumnsOf(int fd);
// The rule above on its inputs: the terminal's answer (0 when it gave none) and COLUMNS.
int ChooseColumns(int terminalColumns, const char* columnsEnv);
// `text` as it fits into `columns` cells: cut with "..." at the end when longer. Characters count
// one cell each however many bytes they take, and terminal escape sequences none.
std::string CutToWidth(const std::string& text, int columns);

// How a status word is painted: done well, gone wrong, or waiting for something.
enum class ETone { Good, Bad, Waiting };
// Whether words written to a stream get colours: only on a terminal, and never when NO_COLOR is
// set to anything or the terminal is "dumb".
bool UseColourOn(int fd);
bool UseColour(bool terminal, const char* noColorEnv, const char* termEnv);
// `word` in its tone's colour when `colour`, as it is otherwise.
std::string Paint(const std::string& word, ETone tone, bool colour);

// ---- Usage errors ----

// The number of single-character edits (insert, delete, replace, swap two neighbours) that turn
// a into b.
size_t EditDistance(const std::string& a, const std::string& b);
// The names among `known` closest to `typed`, when close enough to be what was meant (a few
// edits, fewer for short names); nothing when none is.
std::vector<std::string> ClosestNames(const std::string& typed, const std::vector<std::string>& known);
// "did you mean --folder?", "did you mean scan or search?"; empty when nothing is close.
std::string DidYouMean(const std::string& typed, const std::vector<std::string>& known);

// ---- Progress ----

// When the next plain progress line is due: at most one every kPlainProgressMs, at once when
// forced. A new pace is due at once; Restart makes the next one wait a whole period.
class CPlainPace {
public:
    bool Due(bool force = false);
    void Restart();

private:
    bool started_ = false;
    uint32_t last_ = 0;
};

// The progress display of a command on standard error or standard output. On a terminal it is
// redrawn in place, cut to the terminal's width, and cleared before anything else is written
// there (Clear) and at its end; elsewhere it is a plain line at most every kPlainProgressMs, a
// record for a log rather than an animation.
class CProgressLine {
public:
    explicit CProgressLine(int fd);  // STDERR_FILENO or STDOUT_FILENO
    ~CProgressLine() { Clear(); }
    CProgressLine(const CProgressLine&) = delete;
    CProgressLine& operator=(const CProgressLine&) = delete;

    bool Live() const { return live_; }
    // Shows `line`: in place on a terminal; otherwise as a plain line when one is due (or forced).
    void Show(const std::string& line, bool force = false);
    // On a terminal, several lines in place (one per download); nothing otherwise.
    void ShowLines(const std::vector<std::string>& lines);
    // Takes what is shown off the terminal, so that the next output starts on a clean line.
    void Clear();
    // The first plain line comes one period after this, not at once.
    void DelayPlain() { pace_.Restart(); }
    // The columns a live line may fill (one less than the terminal: no wrap at its edge).
    int Columns() const;

private:
    int fd_;
    std::ostream& out_;
    bool live_;
    bool onLine_ = false;  // a line without its newline is shown
    int linesAbove_ = 0;   // whole lines shown above the cursor
    CPlainPace pace_;
};

}  // namespace plover::cli
