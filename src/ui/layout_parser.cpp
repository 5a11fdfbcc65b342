#include "ui/layout_parser.h"

#include <cctype>

namespace plover::ui {
namespace {

bool IsAlnum(char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; }

// Which element a letter makes; false for letters that end the level.
bool KindOf(char c, EElementKind& kind) {
    switch (c) {
        case 'R': kind = EElementKind::Root; return true;
        case 'F': kind = EElementKind::Frame; return true;
        case 'M': kind = EElementKind::MDIClient; return true;
        case 'C': kind = EElementKind::ControlBar; return true;
        case 'T': kind = EElementKind::ToolBar; return true;
        case 'S': kind = EElementKind::StatusBar; return true;
        case 'P': kind = EElementKind::Pane; return true;
        default: return false;
    }
}

class CLayoutReader {
public:
    CLayoutReader(const std::string& text, const std::set<int>& panes) : text_(text), panes_(panes) {}

    // Fills `frame` with the elements of one level; returns false when the whole parse stops.
    bool Level(SxfElement& frame) {
        for (;;) {
            if (pos_ >= text_.size()) return true;
            EElementKind kind;
            char letter = text_[pos_++];
            if (letter > 'T' || !KindOf(letter, kind)) return true;
            if (kind == EElementKind::Pane && !At('(')) return true;

            // A pane is an existing window: it joins the frame only once its "id" has found it.
            SxfElement* element = &frame;
            std::unique_ptr<SxfElement> pane;
            if (kind != EElementKind::Root) {
                auto child = std::make_unique<SxfElement>(kind);
                child->parent = &frame;
                element = child.get();
                if (kind == EElementKind::Pane) pane = std::move(child);
                else frame.children.push_back(std::move(child));
            }
            if (kind == EElementKind::StatusBar) element->AddParam("bottom", "");
            if (At('(')) {
                ++pos_;
                if (!Parameters(*element)) return false;
            }
            if (pane) frame.children.push_back(std::move(pane));
            if (At('{')) {
                ++pos_;
                // No window nests this deep; a text that does is not a layout and must not
                // exhaust the stack.
                if (++depth_ > kMaxDepth) return false;
                bool ok = Level(*element);
                --depth_;
                if (!ok) return false;
            }
            if (kind == EElementKind::Pane) {
                element->title = kUntitledPane;
                frame.windows.push_back({element->paneId, element->title});
                if (element->HasParam("active")) frame.Root().activePane = element->paneId;
            }
            if (At('}')) {
                ++pos_;
                return true;
            }
        }
    }

    size_t Position() const { return pos_; }

private:
    bool At(char c) const { return pos_ < text_.size() && text_[pos_] == c; }

    std::string Run() {
        size_t start = pos_;
        while (pos_ < text_.size() && IsAlnum(text_[pos_])) ++pos_;
        return text_.substr(start, pos_ - start);
    }

    // Reads up to ")" (consumed) or the end of the text. A pane's first parameter names it.
    bool Parameters(SxfElement& element) {
        bool first = true;
        while (pos_ < text_.size() && text_[pos_] != ')') {
            if (!IsAlnum(text_[pos_])) {
                ++pos_;
                continue;
            }
            std::string name = Run(), value;
            if (At('=')) {
                ++pos_;
                value = Run();
            }
            if (element.kind == EElementKind::Pane && first) {
                if (!NameIs(name, "id")) return false;
                int id = DecimalValue(value);
                if (!panes_.count(id)) return false;
                element.paneId = id;
            } else {
                element.AddParam(name, value);
            }
            first = false;
        }
        if (element.kind == EElementKind::Pane && first) return false;  // "P()" names no pane
        if (At(')')) ++pos_;
        return true;
    }

    const std::string& text_;
    const std::set<int>& panes_;
    size_t pos_ = 0;
    int depth_ = 0;
    static constexpr int kMaxDepth = 200;
};

}  // namespace

SLayoutResult BuildLayout(SxfElement& root, const std::string& description, const std::set<int>& panes) {
    CLayoutReader reader(description, panes);
    SLayoutResult result;
    result.aborted = !reader.Level(root);
    result.stoppedAt = reader.Position();
    return result;
}

}  // namespace plover::ui
