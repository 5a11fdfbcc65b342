#include "cli/basket_lines.h"

#include <filesystem>
#include <iostream>

#include <nlohmann/json.hpp>

#include "baskets/basket.h"
#include "cli/cli_kit.h"
#include "cli/json_lines.h"
#include "cli/terminal.h"

namespace plover::cli {
namespace {

namespace fs = std::filesystem;

const char* DispatchName(uint32_t mode) {
    return mode == DISPATCH_ROOT ? "root folder" : mode == DISPATCH_PER_SERVER ? "per server" : "accepts nothing";
}

nlohmann::json RowJson(const SBasketRow& b) {
    return {{"type", "basket"}, {"name", b.name},   {"folder", b.folder}, {"id", b.id},
            {"client", b.client}, {"dispatch", DispatchName(b.dispatch)}, {"icon", b.icon}};
}

}  // namespace

void PrintBasketRow(std::ostream& out, const SBasketRow& b, bool json) {
    if (json)
        WriteJsonLine(out, RowJson(b));
    else
        out << b.name << "\t" << b.folder
            << (b.dispatch == DISPATCH_ROOT ? "" : std::string("\t(") + DispatchName(b.dispatch) + ")") << "\n";
}

void SayNoBaskets() {
    std::cerr << "No baskets. plover basket add NAME FOLDER makes one; plover --install makes the default ones.\n";
}

std::pair<uint64_t, uint64_t> FolderContents(const std::string& folder) {
    uint64_t files = 0, bytes = 0;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code e2;
        if (it->is_regular_file(e2)) {
            ++files;
            bytes += it->file_size(e2);
        }
    }
    return {files, bytes};
}

void PrintBasketShow(std::ostream& out, const SBasketRow& b, bool json) {
    auto [files, bytes] = FolderContents(b.folder);
    if (json) {
        nlohmann::json j = RowJson(b);
        j["files"] = files;
        j["bytes"] = bytes;
        WriteJsonLine(out, j);
        return;
    }
    out << "Name:      " << b.name << "\n"
        << "Folder:    " << b.folder << "\n"
        << "Files go:  " << (b.dispatch == DISPATCH_PER_SERVER ? "into a subfolder per server" :
                             b.dispatch == DISPATCH_ROOT       ? "into the folder" : "nowhere (accepts nothing)")
        << "\n"
        << "ID:        " << b.id << " (downloads carry client number " << b.client << ")\n"
        << "Icon:      " << b.icon << "\n"
        << "Contents:  " << files << " files, " << bytes << " bytes\n";
}

std::string AbsoluteFolder(const std::string& folder) {
    std::error_code ec;
    fs::path p = fs::absolute(folder, ec);
    return (ec ? fs::path(folder) : p).lexically_normal().string();
}

std::string NoBasketText(const std::string& name) { return "no basket named \"" + name + "\" (see plover basket list)"; }

void SayNoBasket(const std::string& name) { Complain() << NoBasketText(name) << "\n"; }

void SayNameTaken(const std::string& name) { Complain() << "a basket named \"" << name << "\" exists already\n"; }

std::string RefusalLine(const std::string& refusal, const std::string& folder) {
    return refusal == kMsgInvalidFolder ? refusal + ": " + folder : refusal;
}

void SayCollectsInto(const std::string& name, const std::string& folder) {
    std::cout << "Basket \"" << name << "\" collects into " << folder << "\n";
}

void SayRemoved(const std::string& name, const std::string& folder) {
    std::cout << "Removed the basket \"" << name << "\"; its folder " << folder << " stays.\n";
}

bool ConfirmBasketDelete(bool yes) {
    if (yes) return true;
    if (!StdinIsTerminal()) {
        std::cerr << kMsgDeleteBasket << " (answer with --yes)\n";
        return false;
    }
    return AskYesNo(std::string(kMsgDeleteBasket) + " [y/N] ", [] { return false; });
}

EConflictAnswer CConflictQuestion::TargetExists(const std::string&, const std::string& target) {
    if (fixed_ == "overwrite") return EConflictAnswer::OverwriteAll;
    if (fixed_ == "skip" || !StdinIsTerminal()) return EConflictAnswer::Skip;
    std::cerr << kTargetExistsTitle << ": " << target << "\n";
    auto answer = AskLine(std::string("[o] ") + kAnswerOverwrite + ", [a] " + kAnswerOverwriteAll + ", [s] " + kAnswerSkip +
                              ", [k] " + kAnswerSkipAll + "? ",
                          false, [] { return false; });
    std::string a = answer ? *answer : "";
    if (a == "o") return EConflictAnswer::Overwrite;
    if (a == "a") return EConflictAnswer::OverwriteAll;
    if (a == "k") return EConflictAnswer::SkipAll;
    return EConflictAnswer::Skip;
}

void CConflictQuestion::CantDelete(const std::string& path) { std::cerr << CantDeleteFileMessage(path) << "\n"; }

std::string MoveProgressText(uint64_t doneKiB, uint64_t totalKiB) {
    return "Moving: " + std::to_string(doneKiB) + " of " + std::to_string(totalKiB) + " KiB";
}

void PrintMoveReport(const SMoveReport& report) {
    for (const auto& [from, to] : report.moved) std::cout << "Moved " << from << " -> " << to << "\n";
    for (const auto& s : report.skipped) std::cout << "Skipped " << s << "\n";
    for (const auto& e : report.errors) Complain() << "cannot move " << e << "\n";
    std::cout << report.moved.size() << " moved, " << report.skipped.size() << " skipped, " << report.errors.size()
              << " failed.\n";
}

}  // namespace plover::cli
