#include "cli/manual.h"

#include <iostream>
#include <sstream>

#include "cli/cli_kit.h"
#include "platform/file_io.h"

#ifndef PLOVER_VERSION
#define PLOVER_VERSION "0"
#endif

namespace plover::cli {
namespace {

// Commands in a group of their own name "" are hidden from --help, and from the page.
std::vector<const CLI::App*> VisibleCommands(const CLI::App& app) {
    return app.get_subcommands([](const CLI::App* s) { return !s->get_group().empty(); });
}

std::vector<const CLI::Option*> VisibleOptions(const CLI::App& app) {
    return app.get_options([](const CLI::Option* o) { return !o->get_group().empty(); });
}

// Text as troff shows it literally: backslashes and minus signs escaped, no line starting a
// request.
std::string Roff(const std::string& text) {
    std::string out;
    bool lineStart = true;
    for (char c : text) {
        if (lineStart && (c == '.' || c == '\'')) out += "\\&";
        if (c == '\\')
            out += "\\e";
        else if (c == '-')
            out += "\\-";
        else
            out += c;
        lineStart = c == '\n';
    }
    return out;
}

// "plover basket add" for the command `app`.
std::string FullName(const CLI::App& app) {
    std::string name = app.get_name();
    for (const CLI::App* p = app.get_parent(); p; p = p->get_parent()) name = p->get_name() + " " + name;
    return name;
}

// The option's names, bold, and its value, italic: "\fB\-o\fR, \fB\-\-output\fR \fIFILE\fR".
std::string OptionTerm(const CLI::Option& o) {
    std::string term;
    if (!o.nonpositional()) return "\\fI" + Roff(o.get_name(true)) + "\\fR";
    for (const std::string& s : o.get_snames()) term += (term.empty() ? "" : ", ") + ("\\fB" + Roff("-" + s) + "\\fR");
    for (const std::string& l : o.get_lnames()) term += (term.empty() ? "" : ", ") + ("\\fB" + Roff("--" + l) + "\\fR");
    if (o.get_type_size_max() > 0 && !o.get_type_name().empty()) term += " \\fI" + Roff(o.get_type_name()) + "\\fR";
    return term;
}

void CommandSection(std::ostringstream& out, const CLI::App& cmd) {
    std::vector<const CLI::App*> subs = VisibleCommands(cmd);
    std::string usage = FullName(cmd) + (subs.empty() ? "" : " COMMAND");
    for (const CLI::Option* o : VisibleOptions(cmd))
        if (!o->nonpositional()) usage += " " + o->get_name(true);
    out << ".SS \"" << Roff(usage) << "\"\n" << Roff(cmd.get_description()) << "\n";
    for (const CLI::Option* o : VisibleOptions(cmd)) {
        if (o == cmd.get_help_ptr()) continue;
        out << ".TP\n" << OptionTerm(*o) << "\n" << Roff(o->get_description()) << "\n";
    }
    for (const CLI::App* sub : subs) CommandSection(out, *sub);
}

// The completion words of every command: its options and its visible commands.
struct SCompletion {
    std::string path;  // "", "basket", "basket add"
    std::vector<std::string> words;
};

void Completions(const CLI::App& app, const std::string& path, std::vector<SCompletion>& out) {
    SCompletion c{path, {}};
    for (const CLI::Option* o : VisibleOptions(app)) {
        for (const std::string& l : o->get_lnames()) c.words.push_back("--" + l);
        for (const std::string& s : o->get_snames()) c.words.push_back("-" + s);
    }
    for (const CLI::App* sub : VisibleCommands(app)) c.words.push_back(sub->get_name());
    out.push_back(c);
    for (const CLI::App* sub : VisibleCommands(app))
        Completions(*sub, path.empty() ? sub->get_name() : path + " " + sub->get_name(), out);
}

std::string Joined(const std::vector<std::string>& words) {
    std::string out;
    for (const std::string& w : words) out += (out.empty() ? "" : " ") + w;
    return out;
}

// The shell's case patterns of the command paths: "get"|"basket"|"basket add"...
std::string PathPatterns(const std::vector<SCompletion>& all) {
    std::string out;
    for (const SCompletion& c : all)
        if (!c.path.empty()) out += (out.empty() ? "\"" : "|\"") + c.path + "\"";
    return out;
}

bool WriteFile(const std::filesystem::path& path, const std::string& text) {
    std::error_code ec;
    std::filesystem::create_directories(path.parent_path(), ec);
    std::string error;
    if (!SaveFileAtomically(path.string(), text, SSaveOptions{0644, true}, &error)) {
        Complain() << "cannot write " << path.string() << ": " << error << "\n";
        return false;
    }
    std::cout << "Written: " << path.string() << "\n";
    return true;
}

}  // namespace

std::vector<std::string> CommandPaths(const CLI::App& app) {
    std::vector<SCompletion> all;
    Completions(app, "", all);
    std::vector<std::string> out;
    for (const SCompletion& c : all)
        if (!c.path.empty()) out.push_back(c.path);
    return out;
}

std::string ManualPage(const CLI::App& root) {
    std::ostringstream out;
    out << ".TH PLOVER 1 \"\" \"plover " << PLOVER_VERSION << "\" \"User Commands\"\n"
        << ".SH NAME\nplover \\- collect pictures and files from the web\n"
        << ".SH SYNOPSIS\n\\fBplover\\fR [\\fB\\-\\-home\\fR \\fIDIR\\fR] \\fICOMMAND\\fR [\\fIOPTIONS\\fR] "
           "[\\fIARGUMENTS\\fR]\n.br\n\\fBplover\\fR \\fB\\-\\-help\\fR | \\fB\\-\\-version\\fR\n"
        << ".SH DESCRIPTION\n" << Roff(root.get_description()) << "\n"
        << "Each command below has its own options; \\fBplover\\fR \\fICOMMAND\\fR \\fB\\-\\-help\\fR "
           "lists them too.\n"
        << ".SH OPTIONS\n";
    for (const CLI::Option* o : VisibleOptions(root))
        if (o != root.get_help_ptr()) out << ".TP\n" << OptionTerm(*o) << "\n" << Roff(o->get_description()) << "\n";
    out << ".SH COMMANDS\n";
    for (const CLI::App* cmd : VisibleCommands(root)) CommandSection(out, *cmd);
    out << ".SH EXIT STATUS\n"
        << ".TP\n0\nSuccess: every job finished.\n"
        << ".TP\n1\nA job or a part of it failed, or the command was refused.\n"
        << ".TP\n2\nA usage error: an unknown command or option (with the nearest names suggested), a "
           "missing argument, a bad value.\n"
        << ".TP\n130\nInterrupted by Ctrl\\-C (SIGINT) or SIGTERM before the job ended.\n"
        << ".SH ENVIRONMENT\n"
        << ".TP\nPLOVER_HOME\nKeep settings and data in this folder, as \\fB\\-\\-home\\fR does.\n"
        << ".TP\nXDG_CONFIG_HOME, XDG_DATA_HOME\nWhere settings and data live otherwise "
           "(~/.config/plover, ~/.local/share/plover).\n"
        << ".TP\nNO_COLOR\nWhen set to anything, status words are never coloured.\n"
        << ".TP\nCOLUMNS\nThe width of progress lines when the terminal does not tell it.\n"
        << ".TP\nhttp_proxy, ftp_proxy\nImported as the proxy settings by \\fBplover install\\fR.\n"
        << ".SH FILES\n"
        << ".TP\n~/.config/plover/\nThe settings.\n"
        << ".TP\n~/.local/share/plover/\nThe download list, the download history and the page cache.\n";
    return out.str();
}

std::string BashCompletion(const CLI::App& root) {
    std::vector<SCompletion> all;
    Completions(root, "", all);
    std::ostringstream out;
    out << "# bash completion of plover (made by plover completion bash)\n"
        << "_plover() {\n"
        << "    local cur=${COMP_WORDS[COMP_CWORD]} cmd=\"\" w i words=\"\"\n"
        << "    for ((i = 1; i < COMP_CWORD; i++)); do\n"
        << "        w=${COMP_WORDS[i]}\n"
        << "        case \"${cmd:+$cmd }$w\" in\n"
        << "            " << PathPatterns(all) << ") cmd=\"${cmd:+$cmd }$w\" ;;\n"
        << "        esac\n"
        << "    done\n"
        << "    case \"$cmd\" in\n";
    for (const SCompletion& c : all) out << "        \"" << c.path << "\") words=\"" << Joined(c.words) << "\" ;;\n";
    out << "    esac\n"
        << "    COMPREPLY=($(compgen -W \"$words\" -- \"$cur\"))\n"
        << "    [[ ${#COMPREPLY[@]} -eq 0 && $cur != -* ]] && COMPREPLY=($(compgen -f -- \"$cur\"))\n"
        << "    return 0\n"
        << "}\n"
        << "complete -o filenames -F _plover plover\n";
    return out.str();
}

std::string ZshCompletion(const CLI::App& root) {
    std::vector<SCompletion> all;
    Completions(root, "", all);
    std::ostringstream out;
    out << "#compdef plover\n"
        << "# zsh completion of plover (made by plover completion zsh)\n"
        << "local cmd=\"\" w\n"
        << "local -a choices\n"
        << "for w in ${words[2,CURRENT-1]}; do\n"
        << "    case \"${cmd:+$cmd }$w\" in\n"
        << "        (" << PathPatterns(all) << ") cmd=\"${cmd:+$cmd }$w\" ;;\n"
        << "    esac\n"
        << "done\n"
        << "case \"$cmd\" in\n";
    for (const SCompletion& c : all) out << "    (\"" << c.path << "\") choices=(" << Joined(c.words) << ") ;;\n";
    out << "esac\n"
        << "compadd -a choices\n"
        << "[[ $PREFIX != -* ]] && _files\n"
        << "return 0\n";
    return out.str();
}

bool InstallManualAndCompletions(const CLI::App& root, const std::filesystem::path& shareDir) {
    return WriteFile(shareDir / "man" / "man1" / "plover.1", ManualPage(root)) &&
           WriteFile(shareDir / "bash-completion" / "completions" / "plover", BashCompletion(root)) &&
           WriteFile(shareDir / "zsh" / "site-functions" / "_plover", ZshCompletion(root));
}

namespace {

void SetupManual(CLI::App& app, CliContext&) {
    auto* manual = app.add_subcommand("manual", "Print the manual page (troff), e.g. plover manual | man -l -");
    manual->group("");  // for scripts and packagers, not in --help
    manual->callback([&app] { std::cout << ManualPage(app); });
}

void SetupCompletion(CLI::App& app, CliContext&) {
    auto shell = std::make_shared<std::string>();
    auto* completion = app.add_subcommand("completion", "Print the bash or zsh completion script of plover");
    completion->add_option("SHELL", *shell, "bash or zsh")->required()->check(CLI::IsMember({"bash", "zsh"}));
    completion->callback([&app, shell] { std::cout << (*shell == "zsh" ? ZshCompletion(app) : BashCompletion(app)); });
}

CommandRegistrar manualRegistrar("manual", SetupManual);
CommandRegistrar completionRegistrar("completion", SetupCompletion);

}  // namespace
}  // namespace plover::cli
