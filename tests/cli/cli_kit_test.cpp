// The command line's shared rules as tables: how a line is cut to the terminal's width, which
// width is taken, when status words get colours, and what a mistyped name is taken to mean.
#include <gtest/gtest.h>

#include "cli/cli_kit.h"

namespace plover::cli {
namespace {

TEST(CliKitTest, LinesAreCutToTheWidthByCharactersNotBytes) {
    const std::string red = "\033[31mfailed\033[0m";
    struct SCase {
        std::string text;
        int columns;
        std::string expected;
    } cases[] = {
        {"short", 10, "short"},
        {"exactly10!", 10, "exactly10!"},
        {"one longer line", 10, "one lon..."},
        {"abcdef", 3, "abc"},                         // no room for the dots
        {"abc", 0, ""},
        {"café crème brûlée", 11, "café crè..."},  // never half a character
        {"café", 4, "café"},           // four characters in five bytes fit four cells
        {"a " + red, 8, "a " + red},                  // colour codes take no cells
        {"a " + red + " and more", 8, "a \033[31mfai\033[0m..."},  // a colour cut in half ends
    };
    for (const SCase& c : cases) EXPECT_EQ(CutToWidth(c.text, c.columns), c.expected) << c.text << " in " << c.columns;
}

TEST(CliKitTest, WidthIsTheTerminalsThenColumnsThenEighty) {
    struct SCase {
        int terminal;
        const char* columns;
        int expected;
    } cases[] = {
        {120, "50", 120}, {0, "50", 50}, {0, nullptr, 80}, {0, "", 80}, {0, "wide", 80}, {0, "-5", 80}, {0, "40x", 80},
    };
    for (const SCase& c : cases)
        EXPECT_EQ(ChooseColumns(c.terminal, c.columns), c.expected) << c.terminal << " " << (c.columns ? c.columns : "-");
}

TEST(CliKitTest, ColoursOnlyOnATerminalWithoutNoColor) {
    struct SCase {
        bool terminal;
        const char* noColor;
        const char* term;
        bool expected;
    } cases[] = {
        {true, nullptr, "xterm-256color", true},
        {true, "", "xterm", true},  // NO_COLOR set but empty does not count
        {true, "1", "xterm", false},
        {true, nullptr, "dumb", false},
        {false, nullptr, "xterm", false},
    };
    for (const SCase& c : cases)
        EXPECT_EQ(UseColour(c.terminal, c.noColor, c.term), c.expected)
            << c.terminal << " " << (c.noColor ? c.noColor : "-") << " " << c.term;
    EXPECT_EQ(Paint("finished", ETone::Good, false), "finished");
    EXPECT_EQ(Paint("failed", ETone::Bad, true), "\033[31mfailed\033[0m");
}

TEST(CliKitTest, MistypedNamesSuggestTheClosest) {
    const std::vector<std::string> commands = {"basket", "collect", "get", "list", "scan", "search", "settings"};
    const std::vector<std::string> options = {"--folder", "--force", "--input", "--json", "-o", "-P"};
    const std::vector<std::string> ties = {"--colour", "--colors", "--columns"};
    struct SCase {
        std::string typed;
        const std::vector<std::string>& known;
        std::string expected;
    } cases[] = {
        {"gte", commands, "did you mean get?"},          // two letters swapped
        {"colect", commands, "did you mean collect?"},   // one left out
        {"sacn", commands, "did you mean scan?"},
        {"seting", commands, "did you mean settings?"},
        {"bsket", commands, "did you mean basket?"},
        {"frobnicate", commands, ""},                     // nothing close
        {"ls", commands, ""},                             // too short to guess from
        {"--fodler", options, "did you mean --folder?"},
        {"--folde", options, "did you mean --folder?"},
        {"--fo", options, ""},
        {"--jsno", options, "did you mean --json?"},
        {"-x", options, ""},                              // a letter is one edit from any other
        {"--color", ties, "did you mean --colour or --colors?"},  // as near as each other
    };
    for (const SCase& c : cases) EXPECT_EQ(DidYouMean(c.typed, c.known), c.expected) << c.typed;
    EXPECT_EQ(EditDistance("folder", "fodler"), 1u);
    EXPECT_EQ(EditDistance("", "abc"), 3u);
    EXPECT_EQ(EditDistance("kitten", "sitting"), 3u);
}

}  // namespace
}  // namespace plover::cli
