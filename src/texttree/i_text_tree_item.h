#pragma once
// An object that stores itself as one group of a text tree (a download in the list file). The
// caller opens or enters the group first; Save writes the object's values and groups at the
// tree's cursor and Load reads them from the current group. Both leave the cursor where they
// found it.
#include "texttree/text_tree.h"
#include "platform/com.h"

namespace plover {

inline constexpr GUID IID_ITextTreeItem = MakeGuid("6E2B9C41-5D07-4A8F-B3E1-92C4D8A07F15");

struct ITextTreeItem : IUnknown {
    virtual bool Save(CTextTree& tree) = 0;
    virtual bool Load(CTextTree& tree) = 0;

protected:
    ~ITextTreeItem() = default;
};

}  // namespace plover
