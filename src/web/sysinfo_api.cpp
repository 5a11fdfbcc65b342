#include "web/sysinfo_api.h"

#include <httplib.h>
#include <jpeglib.h>
#include <openssl/crypto.h>
#include <png.h>
#include <sys/statvfs.h>
#include <webp/decode.h>
#include <zlib.h>

#include <cstdio>

#include "app/settings.h"
#include "baskets/download_db.h"
#include "engine/engine_mgr.h"
#include "image/avif_library.h"
#include "image/tiff_library.h"
#include "net/br_socket.h"
#include "scan/i_page_mgr.h"
#include "web/utf8_text.h"

namespace plover::web {
namespace {

#define PLOVER_TEXT(x) #x
#define PLOVER_TEXT_OF(x) PLOVER_TEXT(x)

using Rows = std::vector<std::pair<std::string, std::string>>;

std::string FreeSpace(const std::filesystem::path& folder) {
    struct statvfs st {};
    if (folder.empty() || statvfs(folder.c_str(), &st) != 0) return "unknown";
    return ByteText(uint64_t(st.f_bavail) * st.f_frsize) + " free of " + ByteText(uint64_t(st.f_blocks) * st.f_frsize);
}

std::string FileSize(const std::filesystem::path& file) {
    std::error_code ec;
    auto size = std::filesystem::file_size(file, ec);
    return ec ? "none yet" : ByteText(size);
}

std::string WebpVersion() {
    int v = WebPGetDecoderVersion();
    return std::to_string((v >> 16) & 0xFF) + "." + std::to_string((v >> 8) & 0xFF) + "." + std::to_string(v & 0xFF);
}

std::string FirstLine(const char* text) {
    std::string s = text ? text : "";
    return s.substr(0, s.find('\n'));
}

Rows Libraries() {
    return {{"TLS (OpenSSL)", OpenSSL_version(OPENSSL_VERSION)},
            {"HTTP server (cpp-httplib)", CPPHTTPLIB_VERSION},
            {"zlib", zlibVersion()},
            {"PNG (libpng)", PNG_LIBPNG_VER_STRING},
#ifdef LIBJPEG_TURBO_VERSION
            {"JPEG (libjpeg-turbo)", std::string(PLOVER_TEXT_OF(LIBJPEG_TURBO_VERSION)) + ", API " + std::to_string(JPEG_LIB_VERSION)},
#else
            {"JPEG (libjpeg)", "API " + std::to_string(JPEG_LIB_VERSION)},
#endif
            {"TIFF (libtiff)", FirstLine(TiffVersionText().c_str())},
            {"WebP (libwebp)", WebpVersion()},
            {"AVIF (libavif)", AvifVersionText()}};
}

Rows Engines() {
    const std::pair<const char*, GUID> engines[] = {
        {"Socket engine", ENGINE_ID_SOCKET},   {"Downloader", ENGINE_ID_DOWNLOADER},
        {"Page manager", ENGINE_ID_PAGE_MGR},  {"Scanner engine", ENGINE_ID_SCANNER},
        {"Basket engine", ENGINE_ID_BASKET},   {"File relocator", ENGINE_ID_FILE_RELOCATOR},
        {"Dial-up engine", ENGINE_ID_DIALUP},
    };
    Rows rows;
    for (const auto& [name, id] : engines) {
        RefPtr<IEngine> engine;
        rows.push_back({name, GetEngineMgr()->GetEngine(id, engine.Put()) && engine ? "running" : "not running"});
    }
    rows.push_back({"Open sockets", std::to_string(CBRSocket::GetLiveCount())});
    return rows;
}

Rows Cache() {
    const CRegistrySettings& s = GetSettings();
    Rows rows = {{"Cache folder", s.csCacheFolder}, {"Free space there", FreeSpace(s.csCacheFolder)}};
    RefPtr<IEngine> engine;
    RefPtr<IPageMgr> pm;
    if (GetEngineMgr()->GetEngine(ENGINE_ID_PAGE_MGR, engine.Put())) pm = QueryAs<IPageMgr>(engine.Get(), IID_IPageMgr);
    if (pm) rows.push_back({"Cached files", std::to_string(pm->GetCachedCount()) + " (" + ByteText(pm->GetCacheSize()) + ")"});
    rows.push_back({"Maximal cache disk space", std::to_string(s.iMaxCacheSpace) + " MB"});
    return rows;
}

}  // namespace

std::string ByteText(uint64_t bytes) {
    const char* units[] = {"bytes", "KiB", "MiB", "GiB", "TiB"};
    double v = double(bytes);
    int u = 0;
    while (v >= 1024 && u < 4) {
        v /= 1024;
        ++u;
    }
    char buf[32];
    if (u == 0) std::snprintf(buf, sizeof buf, "%llu bytes", static_cast<unsigned long long>(bytes));
    else std::snprintf(buf, sizeof buf, "%.1f %s", v, units[u]);
    return buf;
}

SApiAnswer SystemInfo(const SSystemInfoSource& src) {
    nlohmann::json traffic = src.traffic ? src.traffic() : nlohmann::json::object();
    const char* modes[] = {"Full speed", "Medium speed", "Low speed", "Queue stopped"};
    int mode = traffic.value("mode", 0);
    std::vector<std::pair<std::string, Rows>> sections = {
        {"Plover",
         {{"Version", src.version},
          {"Build", "C++" + std::to_string(__cplusplus / 100 % 100) + ", compiler " + __VERSION__
#ifndef NDEBUG
                        + ", with checks"
#endif
          },
          {"Pictures read", "JPEG, PNG, GIF, BMP, TIFF, PCX, TGA, WebP, AVIF"},
          {"Secure connections", "HTTPS through OpenSSL"}}},
        {"Libraries", Libraries()},
        {"Home",
         {{"Settings folder", src.settingsDir.string()},
          {"Settings file", src.storeFile.string() + " (" + FileSize(src.storeFile) + ")"},
          {"Data folder", src.dataDir.string()},
          {"Free space there", FreeSpace(src.dataDir)},
          {"Download list", std::to_string(src.downloadCount ? src.downloadCount() : 0) + " downloads, file " +
                                FileSize(src.dataDir / "Default.fll")},
          {"Download history", std::to_string(GetDownloadDB().GetCount()) + " files, file " +
                                   FileSize(src.dataDir / kDownloadDBName)}}},
        {"Page cache", Cache()},
        {"Engines", Engines()},
        {"Traffic",
         {{"Speed", ByteText(traffic.value("speed", 0u)) + "/s"},
          {"Active downloads", std::to_string(traffic.value("active", 0)) + " of " + std::to_string(traffic.value("count", 0))},
          {"Traffic mode", modes[mode >= 0 && mode <= 3 ? mode : 0]}}},
    };
    nlohmann::json out = nlohmann::json::array();
    std::string text;
    for (const auto& [title, rows] : sections) {
        nlohmann::json r = nlohmann::json::array();
        text += title + "\n";
        for (const auto& [label, value] : rows) {
            r.push_back({label, ValidUtf8(value)});
            text += "  " + label + ": " + value + "\n";
        }
        out.push_back({{"title", title}, {"rows", r}});
    }
    return {200, {{"sections", out}, {"text", ValidUtf8(text)}}};
}

}  // namespace plover::web
