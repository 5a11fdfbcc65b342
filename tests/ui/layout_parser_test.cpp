#include <gtest/gtest.h>

#include "ui/layout_json.h"
#include "ui/layout_parser.h"
#include "ui/layouts.h"
#include "ui/toolbar_defs.h"

namespace plover::ui {
namespace {

// A compact picture of a tree: letter, parameters as written, "#id" for a placed pane, "!" for an
// activated one, children in braces.
std::string Dump(const SxfElement& e) {
    std::string s(1, KindLetter(e.kind));
    if (e.kind == EElementKind::Pane) s += "#" + std::to_string(e.paneId);
    if (!e.params.empty()) {
        s += "(";
        for (size_t i = 0; i < e.params.size(); ++i)
            s += (i ? "," : "") + e.params[i].name + (e.params[i].value.empty() ? "" : "=" + e.params[i].value);
        s += ")";
    }
    if (e.kind == EElementKind::Pane && e.Root().activePane == e.paneId && e.active) s += "!";
    if (!e.children.empty()) {
        s += "{";
        for (size_t i = 0; i < e.children.size(); ++i) s += (i ? " " : "") + Dump(*e.children[i]);
        s += "}";
    }
    return s;
}

TEST(BuildLayout, FollowsTheLanguageRules) {
    struct Case {
        const char* name;
        const char* text;
        std::set<int> panes;
        const char* tree;
        bool aborted;
        size_t stoppedAt;  // npos: the whole text
    } cases[] = {
        {"pane shown and activated", "R{P(id=3,active)}", {3}, "R{P#3(active)!}", false, std::string::npos},
        {"id not first stops everything", "R{P(active,id=3)}F", {3}, "R", true, 10},
        {"missing pane stops everything", "R{F{P(id=7)}T}", {3}, "R{F}", true, 10},
        {"empty pane parameters stop", "R{F(hor)P()T}", {3}, "R{F(hor)}", true, 10},
        {"pane id ignores case", "R{P(ID=3)}", {3}, "R{P#3}", false, std::string::npos},
        {"flags have empty values", "T(top,nogripper)", {}, "R{T(top,nogripper)}", false, std::string::npos},
        {"a blank is a separator", "T(top , nogripper)", {}, "R{T(top,nogripper)}", false, std::string::npos},
        {"status bar gets bottom first", "S(tb=6)", {}, "R{S(bottom,tb=6)}", false, std::string::npos},
        {"status bar without parameters", "R{S}", {}, "R{S(bottom)}", false, std::string::npos},
        {"letter above T ends the level", "F(hor){T}ZM", {}, "R{F(hor){T}}", false, 10},
        {"lower case ends the level", "F{C}cM", {}, "R{F{C}}", false, 5},
        // "A" ends the root's level; the "M" after it is the next element of the level above.
        {"unknown letter ends the level", "R{F{T}AM}C", {}, "R{F{T} M}", false, 9},
        {"P without parameters ends the level", "R{F{P}T}", {3}, "R{F T}", false, std::string::npos},
        {"R names the frame being filled", "R(hor){R(ver)F}", {}, "R(hor,ver){F}", false, std::string::npos},
        {"odd separators and values", "F(a==b;c=1x,=d)", {}, "R{F(a,b,c=1x,d)}", false, std::string::npos},
        {"unclosed parameters end with the text", "T(top,tb=2", {}, "R{T(top,tb=2)}", false, std::string::npos},
        {"empty description", "", {}, "R", false, 0},
    };
    for (const Case& c : cases) {
        SxfElement root(EElementKind::Root);
        SLayoutResult r = BuildLayout(root, c.text, c.panes);
        EXPECT_EQ(Dump(root), c.tree) << c.name;
        EXPECT_EQ(r.aborted, c.aborted) << c.name;
        EXPECT_EQ(r.stoppedAt, c.stoppedAt == std::string::npos ? strlen(c.text) : c.stoppedAt) << c.name;
    }
}

TEST(BuildLayout, NestingTooDeepStops) {
    std::string deep;
    for (int i = 0; i < 300; ++i) deep += "F{";
    SxfElement root(EElementKind::Root);
    EXPECT_TRUE(BuildLayout(root, deep, {}).aborted);
    SxfElement shallow(EElementKind::Root);
    EXPECT_FALSE(BuildLayout(shallow, deep.substr(0, 100), {}).aborted);
}

TEST(BuildLayout, HandlersReadTheParameters) {
    SxfElement root(EElementKind::Root);
    BuildLayout(root,
                "R(ver,main=5,main=2,main=1){T(menuBk,Top,left,tb=2,nogripper)C(overlap)M(MDIID=4,primarymdi){F(hor,"
                "width=350,height=20){P(id=3,active)}}S(right)P(id=9)}",
                {3, 9});
    EXPECT_EQ(root.arrangement, ARRANGE_VER);
    EXPECT_EQ(root.mainObject, MAIN_BASKET);  // 5 creates nothing; once created, no other
    const SxfElement& t = *root.children[0];
    EXPECT_TRUE(t.menuStyle);
    EXPECT_EQ(t.dock, DOCK_LEFT);  // "Top" is not "top"
    EXPECT_FALSE(t.gripper);
    EXPECT_EQ(t.items, ToolbarItems(TB_MAIN));
    EXPECT_EQ(root.children[1]->arrangement, ARRANGE_OVERLAP);
    const SxfElement& m = *root.children[2];
    EXPECT_EQ(m.mdiId, 4);
    EXPECT_TRUE(m.primaryMdi);
    ASSERT_EQ(root.mdiClients.size(), 1u);
    EXPECT_EQ(root.mdiClients[0], &m);
    const SxfElement& f = *m.children[0];
    EXPECT_EQ(f.width, "350");
    EXPECT_EQ(f.height, "20");
    ASSERT_EQ(f.windows.size(), 1u);
    EXPECT_EQ(f.windows[0].paneId, 3);
    EXPECT_EQ(f.windows[0].title, "Untitled");
    EXPECT_EQ(root.children[3]->dock, DOCK_RIGHT);  // its own parameter after the added "bottom"
    EXPECT_EQ(root.activePane, 3);
    EXPECT_FALSE(root.children[4]->active);
}

TEST(ProgramLayouts, ChosenByNumber) {
    EXPECT_EQ(LayoutTemplate(2), "R{P(id=%i,active)}");
    EXPECT_EQ(LayoutTemplate(6), "R{M{T(menuBk,top,tb=%i,nogripper)F{P(id=%i,active)}F{P(id=%i,active)}}}");
    for (int n : {-1, 0, 5, 7, 100}) EXPECT_EQ(LayoutTemplate(n), "") << n;
    EXPECT_EQ(FillLayout("R{P(id=%i)T(tb=%i)%}", {12}), "R{P(id=12)T(tb=0)%}");
}

TEST(ProgramLayouts, WindowsBuildTheirTrees) {
    struct Case {
        const char* window;
        const char* tree;
    } cases[] = {
        {"main",
         "R(ver,main=1){T(menuBk,top,tb=1,nogripper) T(top,tb=2,nogripper) F(hor,width=350){M(mdiID=1){T(menuBk,top,"
         "tb=3,nogripper) F(height=250){P#101(active)}} M{T(menuBk,top,tb=3,nogripper) F{T(top,tb=4,nogripper) "
         "P#102(active)} F{T(top,tb=5,nogripper) P#103(active)!}}} M(mdiID=2,PrimaryMDI){T(menuBk,top,tb=3,"
         "nogripper)} S(bottom,tb=6)}"},
        {"log", "R{P#120(active)!}"},
        {"viewer", "R{T(menuBk,top,tb=7,nogripper) T(top,tb=8,nogripper) F{P#130(active)!} S(bottom,tb=9)}"},
        {"basket",
         "R(ver,main=2){T(menuBk,top,tb=10,nogripper) T(top,tb=11,nogripper) F(hor){F(width=240){P#140(active)!} "
         "F{T(top,tb=12,nogripper) F{P#141}} F(width=280){P#142}} S(bottom,tb=13)}"},
        {"format", "R{M{T(menuBk,top,tb=1,nogripper) F{P#150(active)} F{P#151(active)!}}}"},
    };
    for (const Case& c : cases) {
        const SProgramWindow* w = FindProgramWindow(c.window);
        ASSERT_NE(w, nullptr) << c.window;
        auto root = BuildWindow(*w);
        EXPECT_EQ(Dump(*root), c.tree) << c.window;
    }
    auto main = BuildWindow(*FindProgramWindow("main"));
    ASSERT_EQ(main->mdiClients.size(), 2u);
    EXPECT_TRUE(main->mdiClients[1]->primaryMdi);
}

TEST(LayoutJson, CarriesTheTreeAndTheMenus) {
    nlohmann::json j = WindowJson(*FindProgramWindow("main"));
    const nlohmann::json& root = j["root"];
    EXPECT_EQ(root["arrangement"], "ver");
    EXPECT_EQ(root["mdiClients"], nlohmann::json({1, 2}));
    const nlohmann::json& menuBar = root["children"][0];
    EXPECT_EQ(menuBar["class"], "CxfToolBar");
    EXPECT_EQ(menuBar["menuBk"], true);
    EXPECT_EQ(menuBar["items"][0]["type"], "menu");
    EXPECT_EQ(menuBar["items"][0]["entries"][0]["text"], "File");
    const nlohmann::json& status = root["children"][4];
    EXPECT_EQ(status["kind"], "statusbar");
    EXPECT_EQ(status["params"][0], nlohmann::json({"bottom", ""}));
    EXPECT_EQ(status["dock"], "bottom");
    EXPECT_EQ(root["children"][2]["children"][0]["children"][1]["children"][0]["title"], "Untitled");
}

}  // namespace
}  // namespace plover::ui
