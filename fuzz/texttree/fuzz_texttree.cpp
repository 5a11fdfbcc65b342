// Feeds arbitrary bytes to the text tree reader, reads every value of every group the way the
// download list does (numbers, strings, encoded strings), and checks that a tree read from any
// input is written and read back unchanged. Nothing may crash, leak or hang, whatever the depth.
#include <cstdlib>
#include <string>
#include <vector>

#include "texttree/text_tree.h"

using namespace plover;

namespace {

void ReadEveryValue(CTextTree& tree) {
    std::vector<size_t> next{0};  // per entered group: the next child to visit
    while (!next.empty()) {
        CTextTreeNode& group = tree.GetCurrent();
        if (next.back() == group.GetChildCount()) {
            next.pop_back();
            tree.LeaveGroup();
            continue;
        }
        CTextTreeNode& child = *group.GetChild(next.back()++);
        if (child.IsGroup()) {
            if (!tree.EnterGroup(child)) abort();
            next.push_back(0);
            continue;
        }
        // Lookups find the first child of a name; it may be a group, whose read fails.
        uint32_t number = 7;
        std::string text = "default", decoded = "default";
        const CTextTreeNode* found = group.FindChild(child.GetName());
        bool readable = found && !found->IsGroup();
        if (!tree.ReadNumber(child.GetName(), number) && number != 7) abort();  // failures keep the default
        if (tree.ReadString(child.GetName(), text) != readable) abort();
        if (readable && text != found->GetValue()) abort();
        if (!tree.ReadString(child.GetName(), decoded, true) && decoded != "default") abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    CTextTree tree;
    if (!tree.Parse(text)) return 0;
    ReadEveryValue(tree);
    // The file form grows with the square of the depth: round-trip small inputs only.
    if (size <= 4096) {
        std::string saved = tree.Serialize();
        CTextTree back;
        if (!back.Parse(saved) || back.Serialize() != saved) abort();
    }
    return 0;
}
