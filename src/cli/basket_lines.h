#pragma once
// What the `plover basket ...` commands print and ask, whether they work on the home themselves
// or through the running Plover's basket API: the list's lines and JSON objects, show's report,
// the refusals, the delete confirmation, the move's conflict questions, progress and report.
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "baskets/move_files.h"

namespace plover::cli {

struct SBasketRow {
    std::string name, folder, icon;
    int id = 0, client = 0;
    uint32_t dispatch = 0;
};

// What `plover basket edit` changes.
struct SBasketEditOptions {
    std::string basket;
    std::optional<std::string> name, folder;
    bool perServer = false, rootFolder = false;
};

// "NAME<TAB>FOLDER[<TAB>(per server)]" or one JSON object.
void PrintBasketRow(std::ostream& out, const SBasketRow& b, bool json);
// "No baskets. ..." on standard error, for a text list without any.
void SayNoBaskets();
// The files and bytes below a folder.
std::pair<uint64_t, uint64_t> FolderContents(const std::string& folder);
// plover basket show: the basket with its folder's contents (text or one JSON object).
void PrintBasketShow(std::ostream& out, const SBasketRow& b, bool json);

// The folder as an absolute path (the properties rules want one).
std::string AbsoluteFolder(const std::string& folder);
// "no basket named "NAME" (see plover basket list)", and the same on standard error.
std::string NoBasketText(const std::string& name);
void SayNoBasket(const std::string& name);
// "a basket named "NAME" exists already" on standard error.
void SayNameTaken(const std::string& name);
// A refusal of the basket rules as a line; the folder one names the folder it refused.
std::string RefusalLine(const std::string& refusal, const std::string& folder);
// "Basket "NAME" collects into FOLDER"
void SayCollectsInto(const std::string& name, const std::string& folder);
// "Removed the basket "NAME"; its folder FOLDER stays."
void SayRemoved(const std::string& name, const std::string& folder);
// The delete confirmation: --yes, else asked on a terminal; false (said why) when not answered yes.
bool ConfirmBasketDelete(bool yes);

// Conflict answers for a move: fixed by --on-conflict, else asked on the terminal, else skip.
class CConflictQuestion final : public IMoveConflict {
public:
    explicit CConflictQuestion(std::string fixed) : fixed_(std::move(fixed)) {}
    EConflictAnswer TargetExists(const std::string& source, const std::string& target) override;
    void CantDelete(const std::string& path) override;

private:
    std::string fixed_;
};

// "Moving: DONE of TOTAL KiB"
std::string MoveProgressText(uint64_t doneKiB, uint64_t totalKiB);
// The moved, skipped and failed files and the counts line.
void PrintMoveReport(const SMoveReport& report);

}  // namespace plover::cli
