// The settings store reader: any bytes on disk must be read or refused, never crash or hang, and
// what is read must be written back into a text that reads as the same tree.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "app/reg_key.h"
#include "app/reg_text.h"
#include "app/settings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace plover;
    std::string_view text(reinterpret_cast<const char*>(data), size);
    std::string why;
    IsWholeRegText(text, &why);  // the test of a cut file reads the same bytes first
    auto root = std::make_shared<CRegNode>("");
    if (!ParseRegText(text, *root, nullptr)) return 0;

    std::string once = FormatRegText(*root);
    CRegNode again("");
    if (!ParseRegText(once, again, nullptr) || !again.SameTree(*root) || FormatRegText(again) != once) std::abort();

    // The main table and its records read whatever the file holds under the program's key.
    CRegistrySettings settings;
    CBRRegKey key;
    if (key.OpenForRead(root, kPloverKey)) SerializeTable(settings.Table(), key, nullptr, true);
    settings.SurfURLs.Load(root, "Software\\Bramble\\Plover\\SurfURLs");
    std::string password;
    CBRRegKey sites;
    if (sites.OpenForRead(root, "Software\\Bramble\\Plover\\Sites")) {
        std::string name;
        for (uint32_t i = 0; i < 64 && sites.EnumKey(i, name); ++i) {
            CBRRegKey login;
            if (login.OpenForRead(sites, (name + "\\Login").c_str())) login.ReadString("Password", password, 1);
        }
    }
    return 0;
}
