#include "cli/json_lines.h"

#include "download/url_name.h"

namespace plover::cli {

void WriteJsonLine(std::ostream& out, const nlohmann::json& object) {
    out << object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
}

nlohmann::json DownloadJson(const SDownloadSnapshot& s) {
    return {{"type", "download"},
            {"id", s.id},
            {"status", s.statusText},
            {"reason", s.superStatusText},
            {"downloaded", s.downloaded},
            {"size", s.size},
            {"priority", s.priority},
            {"client", s.clientId},
            {"path", s.localPath},
            {"url", AddressWithoutPassword(s.originalUrl)},
            {"tls", s.tls}};
}

}  // namespace plover::cli
