// The manual page and the completion scripts, made from the command definitions: the page
// describes every command that --help lists, bash completes command and option names, and
// plover install puts all three where man and the shells find them.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "run_plover.h"
#include "testutil/temp_dir.h"

namespace plover::test {
namespace {

// The command names of a --help text: the first word of each line under "Subcommands:".
std::vector<std::string> HelpCommands(const std::string& help) {
    std::vector<std::string> names;
    std::istringstream in(help);
    std::string line;
    bool inList = false;
    while (std::getline(in, line)) {
        if (line == "Subcommands:") {
            inList = true;
        } else if (inList && line.rfind("  ", 0) == 0) {
            names.push_back(line.substr(2, line.find(' ', 2) - 2));
        } else if (inList) {
            inList = false;
        }
    }
    return names;
}

TEST(ManualTest, PageDescribesEveryCommandOfHelp) {
    TempDir home;
    SRunResult help = RunPlover(home.Str(), {"--help"});
    SRunResult page = RunPlover(home.Str(), {"manual"});
    ASSERT_EQ(page.exitCode, 0) << page.err;
    std::vector<std::string> commands = HelpCommands(help.out);
    ASSERT_GE(commands.size(), 10u) << help.out;
    for (const std::string& c : commands)
        EXPECT_NE(page.out.find(".SS \"plover " + c), std::string::npos) << c;
    for (const char* s : {".TH PLOVER 1", "\\fB\\-\\-folder\\fR \\fIDIR\\fR", ".SH EXIT STATUS", "NO_COLOR",
                          ".SS \"plover basket add NAME FOLDER\""})
        EXPECT_NE(page.out.find(s), std::string::npos) << s;
    EXPECT_EQ(page.out.find("plover manual"), std::string::npos);  // not a command for the reader
}

TEST(ManualTest, BashCompletesCommandsAndOptions) {
    TempDir home, work;
    SRunResult script = RunPlover(home.Str(), {"completion", "bash"});
    ASSERT_EQ(script.exitCode, 0) << script.err;
    std::string file = (work.Path() / "plover.bash").string();
    std::ofstream(file) << script.out;
    struct SCase {
        std::string words;  // the command line so far, the last word being completed
        std::string expected;
    } cases[] = {
        {"plover bas", "basket"},
        {"plover basket l", "list"},
        {"plover get --fol", "--folder"},
        {"plover --home x sca", "scan"},
        {"plover basket add --per", "--per-server"},
    };
    for (const SCase& c : cases) {
        std::string command = "bash -c 'source " + file + "; COMP_WORDS=(" + c.words +
                              "); COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); _plover; echo \"${COMPREPLY[*]}\"'";
        FILE* p = popen(command.c_str(), "r");
        ASSERT_NE(p, nullptr);
        char buf[4096];
        std::string out;
        while (size_t n = fread(buf, 1, sizeof buf, p)) out.append(buf, n);
        pclose(p);
        EXPECT_EQ(out, c.expected + "\n") << c.words;
    }
}

TEST(ManualTest, InstallPutsPageAndCompletionsUnderTheHome) {
    TempDir home;
    SRunResult r = RunPlover(home.Str(), {"install", "--no-baskets"});
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    for (const char* f : {"share/man/man1/plover.1", "share/bash-completion/completions/plover",
                          "share/zsh/site-functions/_plover"})
        EXPECT_TRUE(std::filesystem::is_regular_file(home.Path() / f)) << f << "\n" << r.out;
}

}  // namespace
}  // namespace plover::test
