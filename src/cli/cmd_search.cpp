// plover search N TEXT... [--profile P] [--reload] [--json] [--basket NAME]: searches the text on
// search site N and scans the result page like plover scan (the text escaped for the address, so
// "red car" works); with --basket its pictures are collected like plover collect.
// plover search list | add TITLE [FORMAT] | edit N [--title T] [--format F] | remove N |
// reset [--yes]: the search sites, kept with the settings under "SearchSites". N is a site's
// number as list shows it, from 1. A site's format is the address of its result page with
// "_TEXT_TO_SEARCH_" where the text goes.
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>

#include "cli/cli_kit.h"
#include "cli/app_session.h"
#include "cli/collect_command.h"
#include "cli/command.h"
#include "cli/json_lines.h"
#include "cli/scan_command.h"
#include "cli/terminal.h"
#include "scan/search_site.h"
#include "scan/search_site_dialogs.h"

namespace plover::cli {
namespace {

struct SSearchOptions {
    std::string number;
    std::vector<std::string> words;
    SScanOptions scan;
    std::string basket;  // empty: the result page is only scanned
};

struct SSiteOptions {
    std::optional<std::string> title;
    std::optional<std::string> format;
};

// The site numbered by text (from 1), or null (said so, exit status 1).
RefPtr<ISearchSite> Find(CliContext& ctx, const std::string& text) {
    RefPtr<ISearchSite> site;
    bool digits = !text.empty() && text.size() <= 9 && text.find_first_not_of("0123456789") == std::string::npos;
    if (!digits || !GetSearchSites().GetSite(std::stoi(text) - 1, site.Put())) {
        SayNoSearchSite(text);
        ctx.exitCode = 1;
        return nullptr;
    }
    return site;
}

void PrintSite(int number, ISearchSite* site) {
    std::cout << number << "  " << site->GetTitle() << "\n   " << site->GetFormat() << "\n";
}

void PrintAll() {
    const CSearchSiteList& list = GetSearchSites();
    if (list.GetCount() == 0) std::cout << "There are no search sites (plover search reset brings the defaults back).\n";
    for (int i = 0; i < list.GetCount(); ++i) {
        RefPtr<ISearchSite> site;
        list.GetSite(i, site.Put());
        PrintSite(i + 1, site.Get());
    }
}

void WarnWithoutMarker(ISearchSite* site) {
    if (site->GetFormat().find(kSearchTextMarker) == std::string::npos)
        std::cerr << "Note: the format has no " << kSearchTextMarker << ": a search on this site has no address.\n";
}

void List(CliContext& ctx, bool json) {
    CCliApp app(ctx);
    if (!app.Start(CCliApp::kReadOnly)) return;
    if (!json) return PrintAll();
    const CSearchSiteList& list = GetSearchSites();
    for (int i = 0; i < list.GetCount(); ++i) {
        RefPtr<ISearchSite> site;
        list.GetSite(i, site.Put());
        WriteJsonLine(std::cout, {{"type", "searchSite"},
                                  {"number", i + 1},
                                  {"title", site->GetTitle()},
                                  {"format", site->GetFormat()}});
    }
}

// The properties of a new site (site null) or an existing one; false when refused.
bool ApplyProperties(CliContext& ctx, CSearchEnginePropDlg& dlg, const SSiteOptions& options) {
    if (options.title) dlg.title = *options.title;
    if (options.format) dlg.format = *options.format;
    std::string error;
    if (dlg.OnOk(&error)) return true;
    Complain() << error << "\n";
    ctx.exitCode = 1;
    return false;
}

void Add(CliContext& ctx, const SSiteOptions& options) {
    CCliApp app(ctx);
    if (!app.Start()) return;
    CSearchEnginePropDlg dlg;  // a new site starts with the format "_TEXT_TO_SEARCH_"
    if (!ApplyProperties(ctx, dlg, options)) return;
    int index = GetSearchSites().Add(dlg.Site().Get());
    if (!app.Stop()) return;
    std::cout << "Added search site:\n";
    PrintSite(index + 1, dlg.Site().Get());
    WarnWithoutMarker(dlg.Site().Get());
}

void Edit(CliContext& ctx, const std::string& which, const SSiteOptions& options) {
    CCliApp app(ctx);
    if (!app.Start()) return;
    RefPtr<ISearchSite> site = Find(ctx, which);
    if (!site) return;
    CSearchEnginePropDlg dlg(site.Get());
    if (!ApplyProperties(ctx, dlg, options) || !app.Stop()) return;
    PrintSite(std::stoi(which), site.Get());
    WarnWithoutMarker(site.Get());
}

void Remove(CliContext& ctx, const std::string& which) {
    CCliApp app(ctx);
    if (!app.Start()) return;
    RefPtr<ISearchSite> site = Find(ctx, which);
    if (!site) return;
    GetSearchSites().RemoveAt(std::stoi(which) - 1);
    if (app.Stop()) std::cout << "Removed search site " << which << ": " << site->GetTitle() << "\n";
}

void Reset(CliContext& ctx, bool yes) {
    CCliApp app(ctx);
    if (!app.Start()) return;
    if (!yes) {
        if (!StdinIsTerminal()) {
            Complain() << kResetSitesQuestion << " Answer with --yes to reset them without a terminal.\n";
            ctx.exitCode = 1;
            return;
        }
        if (!AskYesNo(std::string(kResetSitesQuestion) + " [y/N] ", [] { return false; })) return;
    }
    GetSearchSites().ResetToDefaults();
    if (app.Stop()) PrintAll();
}

void Search(CliContext& ctx, SSearchOptions options) {
    if (options.number.empty() || options.words.empty()) {
        Complain() << "search needs a site number and a text: plover search N TEXT (plover search --help)\n";
        ctx.exitCode = 2;
        return;
    }
    std::string text;
    for (const std::string& w : options.words) text += (text.empty() ? "" : " ") + w;
    // The address is built from the stored sites once the scan has brought Plover up.
    options.scan.buildUrl = [&ctx, number = options.number, text]() -> std::string {
        RefPtr<ISearchSite> site = Find(ctx, number);
        if (!site) return {};
        std::string url = BuildSearchURL(site.Get(), text);
        if (url.empty()) SayNoSearchMarker(number);
        else SaySearching(site->GetTitle(), text, url);
        return url;
    };
    options.scan.searchSite = options.number;
    options.scan.searchText = text;
    if (options.basket.empty()) {
        ctx.exitCode = RunScanCommand(ctx, options.scan);
        return;
    }
    SCollectOptions collect;
    collect.basket = options.basket;
    collect.profile = options.scan.profile;
    collect.reload = options.scan.reload;
    collect.json = options.scan.json;
    collect.tls = options.scan.tls;
    collect.overrides = options.scan.overrides;
    collect.fetch = options.scan.fetch;
    collect.verbose = options.scan.verbose;
    collect.cookies = options.scan.cookies;
    collect.buildUrl = options.scan.buildUrl;
    ctx.exitCode = RunCollectCommand(ctx, collect);
}

}  // namespace

void SayNoSearchSite(const std::string& number) {
    Complain() << "no search site " << number << " (plover search list shows them)\n";
}

void SayNoSearchMarker(const std::string& number) {
    Complain() << "the format of search site " << number << " has no " << kSearchTextMarker << " (plover search edit "
               << number << " --format ...)\n";
}

void SaySearching(const std::string& title, const std::string& text, const std::string& url) {
    std::cerr << "Searching " << title << " for \"" << text << "\": " << url << "\n";
}

namespace {

void Setup(CLI::App& app, CliContext& ctx) {
    auto search = std::make_shared<SSearchOptions>();
    auto* cmd = app.add_subcommand("search", "Search a text on a search site and scan the result page; manage the sites");
    cmd->require_subcommand(0, 1);
    cmd->add_option("N", search->number, "The search site's number (plover search list)");
    cmd->add_option("TEXT", search->words, "The text to search for (several words are joined with spaces)");
    AddScanOptions(cmd, search->scan);
    cmd->add_option("--basket", search->basket, "Collect the result page's pictures into this basket, like plover collect")
        ->type_name("NAME");
    cmd->callback([cmd, search, &ctx] {
        if (cmd->get_subcommands().empty()) Search(ctx, *search);
    });

    auto json = std::make_shared<bool>(false);
    auto* list = cmd->add_subcommand("list", "Every search site with its number, title and format");
    list->add_flag("--json", *json, "One JSON object a line");
    list->callback([&ctx, json] { List(ctx, *json); });

    auto addOptions = std::make_shared<SSiteOptions>();
    auto* add = cmd->add_subcommand("add", "A new search site");
    add->add_option("TITLE", addOptions->title, "Its name: the address of its home page")->required();
    add->add_option("FORMAT", addOptions->format,
                    "Its result page's address with _TEXT_TO_SEARCH_ where the text goes (default: _TEXT_TO_SEARCH_)");
    add->callback([&ctx, addOptions] { Add(ctx, *addOptions); });

    auto which = std::make_shared<std::string>();
    auto editOptions = std::make_shared<SSiteOptions>();
    auto* edit = cmd->add_subcommand("edit", "Change a search site's title or format");
    edit->add_option("N", *which, "The site's number")->required();
    edit->add_option("--title", editOptions->title, "The new title");
    edit->add_option("--format", editOptions->format, "The new format");
    edit->callback([&ctx, which, editOptions] { Edit(ctx, *which, *editOptions); });

    auto* remove = cmd->add_subcommand("remove", "Delete a search site");
    remove->add_option("N", *which, "The site's number")->required();
    remove->callback([&ctx, which] { Remove(ctx, *which); });

    auto yes = std::make_shared<bool>(false);
    auto* reset = cmd->add_subcommand("reset", "Replace every search site by the four default ones (asks first)");
    reset->add_flag("--yes", *yes, "Reset without asking");
    reset->callback([&ctx, yes] { Reset(ctx, *yes); });
}

CommandRegistrar registrar("search", Setup);

}  // namespace
}  // namespace plover::cli
