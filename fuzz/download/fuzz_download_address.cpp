// Addresses from pages and servers, through the download's address rules: the derived and the
// server-given file names never leave the target folder nor pass the file system's length, a
// redirect is followed only to http, https or ftp, and whatever the address, the download
// saves itself into the list file and reads back the same address.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "download/download.h"
#include "texttree/text_tree.h"
#include "download/url_name.h"

using namespace plover;

namespace {

void CheckSafeName(const std::string& name) {
    if (name == "." || name == ".." || name.size() > kMaxFileNameBytes) std::abort();
    for (char c : name) {
        unsigned char u = static_cast<unsigned char>(c);
        if (c == '/' || c == '\\' || c == '|' || u < 0x20 || u == 0x7f) std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string input(reinterpret_cast<const char*>(data), size);
    size_t nl = input.find('\n');
    std::string address = input.substr(0, nl);
    std::string other = nl == std::string::npos ? std::string() : input.substr(nl + 1);

    CheckSafeName(MakeSafeFileName(PercentDecode(DeriveFileName(address))));
    CheckSafeName(MakeSafeFileName(PercentDecode(other)));
    // A redirect leads nowhere, or to an address of a followed scheme.
    std::string target = RedirectTarget(SERVICE_HTTP, "server", other);
    size_t colon = target.find(':');
    if (!target.empty() && (colon == std::string::npos || !IsFollowedScheme(target.substr(0, colon)))) std::abort();

    SDownloadConfig config;
    config.URL_original = address;
    config.URL_remote = address;
    config.LocalFolder = "/nonexistent-plover-fuzz";
    config.ClientID = 1;
    RefPtr<CDownload> d = CDownload::Create(config, nullptr);
    if (!d) return 0;
    CheckSafeName(d->GetFileName());
    d->SetServerFileName(other);
    CheckSafeName(d->GetFileName());
    d->Redirect(other);
    CheckSafeName(d->GetFileName());

    CTextTree tree;
    if (!tree.OpenGroup("DNL") || !d->Save(tree)) std::abort();
    tree.CloseGroup();
    CTextTree back;
    if (!back.Parse(tree.Serialize()) || !back.EnterGroup("DNL")) std::abort();
    std::string remote;
    if (!back.ReadString("URL_remote", remote) || remote != StorableAddress(d->GetRemoteUrl())) std::abort();
    return 0;
}
