// Saving and loading a text tree file. A save never writes over the old file in place: the new
// form goes to a temporary file in the same folder, is flushed to disk and then renamed over the
// old one, so after a crash or a full disk the previous file is still whole.
#include <string>

#include "platform/file_io.h"
#include "texttree/text_tree.h"

namespace plover {

bool CTextTree::Save(const std::string& path) const {
    // Mode 0600 whatever the old file had: the list holds the downloads' logins.
    return SaveFileAtomically(path, Serialize());
}

bool CTextTree::Load(const std::string& path, ITextTreeProgress* progress) {
    std::string text;
    if (ReadWholeFile(path, &text) != 0) {
        Clear();
        complete_ = false;
        return false;
    }
    return Parse(text, progress);
}

}  // namespace plover
