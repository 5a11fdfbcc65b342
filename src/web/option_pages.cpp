#include "web/option_pages.h"

#include <filesystem>
#include <system_error>

#include <cctype>
#include <cstdio>

namespace plover::web {
namespace {

using C = EOptionControl;

constexpr int64_t kMaxU32 = 4294967295LL;
constexpr int64_t kPos = 100000;  // window coordinates, beyond any screen
constexpr const char* kWh = "width, height in pixels";
constexpr const char* kPlace = "left, top, right, bottom and two numbers kept as stored";

using S = const std::string&;
SOptionRow Flag(S name, S page, S label) { return {name, page, label, C::Check}; }
SOptionRow Num(S name, S page, S label, int64_t lo, int64_t hi, const char* unit = "") {
    return {name, page, label, C::Number, lo, hi, {}, unit};
}
SOptionRow Nums(S name, S page, S label, int64_t lo, int64_t hi, const char* unit = "") {
    return {name, page, label, C::Numbers, lo, hi, {}, unit};
}
SOptionRow Pick(S name, S page, S label, std::vector<const char*> choices) {
    return {name, page, label, C::Choice, 0, int64_t(choices.size()) - 1, std::move(choices)};
}
SOptionRow Of(C control, S name, S page, S label) { return {name, page, label, control}; }

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
    return true;
}

const std::vector<SOptionRow>& Rows() {
    static const std::vector<SOptionRow> rows = [] {
        std::vector<SOptionRow> r = {
            Of(C::Folder, "csDefDownloadFolder", "Downloads", "Default download folder"),
            Pick("eTrafficMode", "Downloads", "Traffic mode",
                 {"Full speed", "Medium speed", "Low speed", "Queue stopped"}),
            Flag("bOverwriteAlways", "Downloads", "Overwrite existing files without asking"),
            Flag("bServerFileTime", "Downloads", "Give downloaded files the server's modification time"),
            Flag("bShowAuthorization", "Downloads", "Ask for a login when a server wants one"),
            Flag("bNewDownloadAdv", "Downloads", "Show the advanced part of the new download dialog"),
            Flag("bCloseDnlPropInactive", "Downloads", "Close the download properties when they lose the focus"),
            Num("dwAutoSaveTime", "Downloads", "Save the download list every", 1, 1440, "minutes"),
            Flag("dwAutoTurnOff", "Downloads", "Stop Plover when every download is done"),
            Of(C::Text, "csActiveFilter", "Downloads", "Download list filter"),
            Pick("iConnType", "Connection", "Connection speed",
                 {"14.4 kBit/sec Modem", "19.6 kBit/sec Modem", "28.8 kBit/sec Modem", "33.6 kBit/sec Modem",
                  "56 kBit/sec Modem", "112 kBit/sec Dual ISDN", "256 kBit/sec DSL/Cable", "300 kBit/sec DSL/Cable",
                  "512 kBit/sec DSL/Cable", "700 kBit/sec DSL/Cable", "750 kBit/sec DSL/Cable",
                  "850 kBit/sec DSL/Cable", "1500+ kBit/sec T1/LAN"}),
            Num("TimeoutParams/dwConnect", "Connection", "Connection time-out", 1, 3600, "seconds"),
            Num("TimeoutParams/dwTransfer", "Connection", "Transfer time-out", 1, 3600, "seconds"),
            Of(C::Shown, "TimeoutParams/dwRetry", "Connection", "Attempts per connection"),
            Flag("bDisableLog", "Connection", "Keep no protocol log"),
            Flag("bTlsInsecure", "Connection", "Do not verify the certificates of HTTPS servers"),
            Of(C::File, "csTlsCaFile", "Connection", "Extra trusted certificates (PEM file)"),
            Of(C::Text, "csUserAgent", "Connection", "Browser identity (empty: a current browser's; classic: the old one)"),
            Of(C::File, "csCookieFile", "Connection", "Cookies file (cookies.txt) read on every run"),
            Num("dwMaxConnectionsPerServer", "Connection", "Connections per server (0: no limit)", 0, 64, ""),
            Num("dwMaxRetryAfter", "Connection", "Longest wait a busy server may ask for", 0, 86400, "seconds"),
            Num("dwKeepAliveIdle", "Connection", "Keep idle connections open for (0: none kept)", 0, 3600, "seconds"),
            Num("dwKeepAlivePerServer", "Connection", "Kept connections per server (0: the traffic mode's limit)", 0, 64, ""),
            Flag("bFTPSurferLogin", "FTP", "Log in to FTP servers with the stored site login"),
            Flag("bFTPLog", "FTP", "Log the FTP commands"),
            Of(C::Shown, "csCacheFolder", "Page cache", "Cache folder"),
            Pick("eCacheMode", "Page cache", "Check for newer versions of stored pages",
                 {"Every visit to the page", "Automatically", "Never"}),
            Num("iMaxCacheSpace", "Page cache", "Maximal cache disk space", 20, 2000, "MB"),
            Num("iMaxPageSize", "Page cache", "Largest page that is scanned", 1, 2047, "MiB"),
            Of(C::Text, "csActiveDialUp", "Dial-up", "Dial-up entry"),
            Flag("DialUpUserPass.m_bUsername", "Dial-up", "Use the stored user name"),
            Of(C::Text, "DialUpUserPass.m_csUsername", "Dial-up", "User name"),
            Flag("DialUpUserPass.m_bPassword", "Dial-up", "Use the stored password"),
            Of(C::Password, "DialUpUserPass.m_csPassword", "Dial-up", "Password"),
            Flag("AutoDial/On", "Dial-up", "Dial automatically when a download needs the connection"),
            Num("AutoDial/Times", "Dial-up", "Attempts", 1, 1000),
            Num("AutoDial/Sec", "Dial-up", "Seconds between attempts", 1, 3600, "seconds"),
            Flag("bProMode", "Appearance", "Professional mode (kept in the settings file only: the page has one mode)"),
            Flag("bTrafficBarOn", "Appearance", "Show the traffic bar"),
            Flag("bShowDownloadFullPath", "Appearance", "Show the full path of downloads"),
            Flag("bMinToTray", "Appearance", "Minimise to the tray (kept in the settings file only: a page has no tray)"),
            Flag("bAnimateTray", "Appearance", "Animate the tray icon (kept in the settings file only: a page has no tray)"),
            Of(C::Colour, "colorProgressBkgnd", "Appearance", "Progress bar background"),
            Of(C::Colour, "colorProgressTotal", "Appearance", "Progress bar total"),
            Of(C::Colour, "colorProgressSections", "Appearance", "Progress bar sections"),
            Of(C::Colour, "colorActiveSections", "Appearance", "Active sections"),
            Pick("eDoubleClickAction", "Appearance", "Double-click on a download",
                 {"Open the file", "Open the folder", "Show the properties", "Open in the image viewer"}),
            Pick("eBasketViewMode", "Appearance", "Basket files shown as", {"Thumbnails", "Details"}),
            Pick("eBasketContentMode", "Appearance", "Basket files shown", {"All files", "Pictures only"}),
            Flag("bShowSurferFolderTree", "Appearance", "Show the folder tree of baskets"),
            Flag("bShowProfileDescription", "Appearance", "Show the descriptions of scan profiles"),
            Flag("bWrapURLs", "Appearance", "Wrap long addresses"),
            Flag("bLogAutoScroll", "Appearance", "Scroll the protocol log to its end"),
            Num("dwLogEntryNumber", "Appearance", "Lines kept in the protocol log", 10, 100000, "lines"),
            Flag("bDnlPropAutoOpen", "Appearance", "Open the download properties for a new download"),
            Flag("bDnlPropAutoClose", "Appearance", "Close the download properties when it finishes"),
            Flag("bDnlPropDisplayMin", "Appearance", "Show the download properties small"),
            Flag("bDnlPropMinToTray", "Appearance",
                 "Minimise the download properties to the tray (kept in the settings file only: a page has no tray)"),
            Of(C::File, "csExternalViewer", "Viewer", "External viewer program"),
            Flag("bImageViewShrinkToFit", "Viewer", "Shrink large pictures to fit"),
            Flag("bImageViewUpdateFrameSize", "Viewer", "Fit the window to the picture"),
            Flag("bImageViewAutoSizeCenter", "Viewer", "Centre the picture"),
            Flag("bImageViewSnapCursorToButtons", "Viewer", "Move the pointer onto the buttons"),
            Nums("sizeThumbMinSize", "Viewer", "Smallest thumbnail", 1, 10000, kWh),
            Nums("sizeThumbMaxSize", "Viewer", "Largest thumbnail", 1, 10000, kWh),
            Nums("sizeLargePicMinSize", "Viewer", "Smallest large picture", 1, 100000, kWh),
            Nums("sizeLargePicMaxSize", "Viewer", "Largest large picture", 1, 100000, kWh),
            Nums("sizeThumb", "Viewer", "Thumbnail size in lists", 0, 10000, "width, height (0 0: automatic)"),
            Nums("MainWndPos", "Windows", "Main window placement (stored when the page is resized; the browser places it)", -kPos,
                 kPos, kPlace),
            Nums("BasketWndPos", "Windows", "Basket window placement (where the page opens it)", -kPos, kPos, kPlace),
            Nums("ImageViewWndPos", "Windows", "Image viewer placement (where the page opens it)", -kPos, kPos, kPlace),
            Nums("pointSurferProp", "Windows", "Scan properties position (kept in the settings file only)", -kPos, kPos, "x, y"),
            Nums("pointThumbProp", "Windows", "Thumbnail properties position (kept in the settings file only)", -kPos, kPos,
                 "x, y"),
            Nums("iColWidths", "Windows", "Download list column widths", 0, 5000,
                 "pixels: sections, name, size, progress, address, status (0: its share)"),
            Num("iDownloadListSplitterSize", "Windows", "Height of the panes above the download list", 0, 5000, "pixels"),
            Num("iBrowserSplitterSize", "Windows", "Width of the basket window's folder tree", 0, 5000, "pixels"),
            Num("iActiveMainPage", "Windows", "Page shown at start above the download list", 0, 10,
                "0 baskets, 1 history, 2 scan profiles"),
            Flag("bInternetSearchAdv", "Windows",
                 "Show the advanced part of the search dialog (kept in the settings file only: the search is a box of the toolbar)"),
            Flag("FindInfo/bFilename", "Windows", "Find in file names"),
            Flag("FindInfo/bServer", "Windows", "Find in server names"),
            Flag("FindInfo/bFinished", "Windows", "Find finished downloads"),
            Flag("FindInfo/bNotFinished", "Windows", "Find unfinished downloads"),
            Flag("FindInfo/bPaused", "Windows", "Find paused downloads"),
            Flag("FindInfo/bFailed", "Windows", "Find failed downloads"),
            Flag("FindInfo/bAdv", "Windows", "Show the advanced part of the find dialog"),
            Pick("FindInfo/eFrom", "Windows", "Find from", {"The top of the list", "The selected download"}),
            Pick("FindInfo/eWhatToDo", "Windows", "Found downloads are", {"Selected", "Shown alone"}),
        };
        const char* const soundEvents[] = {"a download starts", "a download finishes", "a download fails",
                                           "every download is done"};
        for (int i = 0; i < 4; ++i) {
            std::string key = "Sound #" + std::to_string(i + 1) + "/";
            r.push_back(Flag(key + "bEnable", "Sounds", std::string("Play a sound when ") + soundEvents[i]));
            r.push_back(Of(C::File, key + "csWavFile", "Sounds",
                          std::string("Sound file (WAV, Ogg, MP3 or FLAC, played by the main window) for when ") +
                              soundEvents[i]));
        }
        const char* const modes[] = {"Full speed", "Medium speed", "Low speed"};
        for (int m = 0; m < 3; ++m) {
            std::string key = "TrafficMode" + std::to_string(m + 1) + "/", mode = modes[m];
            const char* page = "Traffic modes";
            r.push_back(Num(key + "dwMaxDownloads", page, mode + ": downloads at once", 1, 100));
            r.push_back(Num(key + "dwMaxSectPerDownload", page, mode + ": sections per download", 1, 20));
            r.push_back(Num(key + "dwTransferQuota", page, mode + ": transfer limit", 1024, kMaxU32, "bytes per second"));
            r.push_back(Num(key + "dwMinSectSize", page, mode + ": smallest section", 1024, 1 << 30, "bytes"));
        }
        return r;
    }();
    return rows;
}

// A whole number in decimal or 0x hexadecimal with an optional sign.
bool ReadWhole(std::string_view s, int64_t& out) {
    bool negative = !s.empty() && s[0] == '-';
    if (!s.empty() && (s[0] == '-' || s[0] == '+')) s.remove_prefix(1);
    int base = 10;
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        base = 16;
        s.remove_prefix(2);
    }
    if (s.empty() || s.size() > 12) return false;
    int64_t n = 0;
    for (char c : s) {
        int d = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : 99;
        if (d >= base) return false;
        n = n * base + d;
    }
    out = negative ? -n : n;
    return true;
}

std::vector<std::string_view> Words(std::string_view s) {
    std::vector<std::string_view> out;
    size_t i = 0;
    while (i < s.size()) {
        while (i < s.size() && (s[i] == ' ' || s[i] == ',' || s[i] == '\t')) ++i;
        size_t start = i;
        while (i < s.size() && s[i] != ' ' && s[i] != ',' && s[i] != '\t') ++i;
        if (i > start) out.push_back(s.substr(start, i - start));
    }
    return out;
}

std::string Range(const SOptionRow& row) { return std::to_string(row.min) + " to " + std::to_string(row.max); }

int HexDigit(char c) {
    return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
}

}  // namespace

const std::vector<const char*>& OptionPages() {
    // "Proxies" and "Site logins" hold no stored value of the main settings: the page draws them.
    static const std::vector<const char*> pages = {"Downloads",    "Traffic modes", "Connection", "Proxies",
                                                   "FTP",          "Site logins",   "Page cache", "Scan profiles",
                                                   "Search sites", "Dial-up",       "Sounds",     "Appearance",
                                                   "Viewer",       "Windows",       "General",    "Installation"};
    return pages;
}

const SOptionRow* FindOptionRow(std::string_view name) {
    for (const SOptionRow& row : Rows())
        if (SameName(row.name, name)) return &row;
    return nullptr;
}

size_t OptionRowOrder(const SOptionRow* row) { return size_t(row - Rows().data()); }

std::string CheckOptionValue(const SOptionRow& row, std::string_view value) {
    std::string label = row.label;
    int64_t n = 0;
    switch (row.control) {
        case C::Check:
            return value == "0" || value == "1" ? "" : label + ": 1 for yes or 0 for no.";
        case C::Number:
            if (!ReadWhole(value, n) || n < row.min || n > row.max)
                return label + ": a whole number from " + Range(row) + ".";
            return "";
        case C::Choice:
            if (!ReadWhole(value, n) || n < 0 || n >= int64_t(row.choices.size()))
                return "Choose one of the listed values for " + label + ".";
            return "";
        case C::Numbers: {
            auto words = Words(value);
            bool ok = !words.empty();
            for (auto w : words) ok = ok && ReadWhole(w, n) && n >= row.min && n <= row.max;
            return ok ? "" : label + ": whole numbers from " + Range(row) + ".";
        }
        case C::Folder:
        case C::File: {
            if (value.empty()) return row.mayBeEmpty ? "" : label + " cannot be empty.";
            std::filesystem::path p{std::string(value)};
            std::error_code ec;
            if (!p.is_absolute()) return label + " must be an absolute path (starting with /).";
            if (row.control == C::Folder && !std::filesystem::is_directory(p, ec))
                return "The folder does not exist: " + std::string(value);
            if (row.control == C::File && !std::filesystem::is_regular_file(p, ec))
                return "The file does not exist: " + std::string(value);
            return "";
        }
        case C::Text:
        case C::Password:
            if (value.find_first_of("\r\n") != std::string_view::npos) return label + " must be one line.";
            return value.size() < 1000 ? "" : label + " is too long (at most 999 bytes).";
        case C::Colour:
            return ReadWhole(value, n) && n >= 0 && n <= 0xFFFFFF ? "" : label + " must be a colour.";
        case C::Shown:
            if (row.name == "csCacheFolder")
                return "The cache folder moves with its files: plover cache move FOLDER.";
            return label + " cannot be changed.";
    }
    return "";
}

std::string ColourToHtml(std::string_view stored) {
    int64_t n = 0;
    if (!ReadWhole(stored, n) || n < 0) n = 0;
    char buf[8];
    std::snprintf(buf, sizeof buf, "#%02x%02x%02x", unsigned(n & 0xFF), unsigned((n >> 8) & 0xFF),
                  unsigned((n >> 16) & 0xFF));
    return buf;
}

std::optional<std::string> ColourFromHtml(std::string_view html) {
    if (html.size() != 7 || html[0] != '#') return std::nullopt;
    int v[6];
    for (int i = 0; i < 6; ++i)
        if ((v[i] = HexDigit(html[size_t(i) + 1])) < 0) return std::nullopt;
    char buf[16];
    // 0x00BBGGRR: blue first.
    std::snprintf(buf, sizeof buf, "0x00%X%X%X%X%X%X", v[4], v[5], v[2], v[3], v[0], v[1]);
    return std::string(buf);
}

}  // namespace plover::web
