// CDownload as one group of the list file: what Save writes and Load reads, and the rules a
// loaded download applies (clamps, required values, its file checked against its sections).
#include <algorithm>

#include "download/download.h"
#include "download/section_planner.h"
#include "download/url_name.h"

namespace plover {
namespace {

// Names of the values and groups.
constexpr const char* kUrlOriginal = "URL_original";
constexpr const char* kUrlRemote = "URL_remote";
constexpr const char* kLocalFolder = "LocalFolder";
constexpr const char* kPrior = "Prior";
constexpr const char* kClientId = "ClientID";
constexpr const char* kPrevServer = "csPrevServer";
constexpr const char* kFileName = "FileName";
constexpr const char* kLoginGroup = "LOGIN";
constexpr const char* kLogin = "Login";
constexpr const char* kUsername = "Username";
constexpr const char* kPassword = "Password";
constexpr const char* kFlags = "Flags";
constexpr const char* kId = "ID";
constexpr const char* kSize = "Head_FSize";
constexpr const char* kStatus = "Status";
constexpr const char* kSuperStatus = "SuperStatus";
constexpr const char* kAuthCancelled = "AuthorizationCancelled";
constexpr const char* kRenameCancelled = "RenameCancelled";
constexpr const char* kSectList = "SECT_LIST";
constexpr const char* kSect = "SECT";
constexpr const char* kStart = "Start";
constexpr const char* kSectSize = "Size";
constexpr const char* kLastModified = "LastModified";
constexpr const char* kOwnFile = "OwnFile";

}  // namespace

bool CDownload::Save(CTextTree& tree) {
    SDownloadConfig c;
    SectionList sections;
    uint32_t size;
    std::string lastModified;
    {
        CAutoCriticalSection guard(lock_);
        c = config_;
        sections = sections_;
        size = size_;
        lastModified = lastModified_;
    }
    // 1. The addresses and the target; any failure fails the save. Addresses never hold "|"
    // (written as "%7C"); a folder with "|" is refused when the download is made.
    if (!tree.WriteString(kUrlOriginal, StorableAddress(c.URL_original)) ||
        !tree.WriteString(kUrlRemote, StorableAddress(c.URL_remote)) || !tree.WriteString(kLocalFolder, c.LocalFolder) ||
        !tree.WriteNumber(kPrior, uint32_t(c.Prior)) || !tree.WriteNumber(kClientId, uint32_t(c.ClientID)) ||
        !tree.WriteString(kPrevServer, StorableAddress(c.csPrevServer)))
        return false;
    // 2. The name, when known.
    if (!c.FileName.empty()) tree.WriteString(kFileName, c.FileName);
    // 3. The login.
    if (c.Login.Login != 0 && tree.OpenGroup(kLoginGroup)) {
        tree.WriteNumber(kLogin, c.Login.Login);
        tree.WriteString(kUsername, StorableAddress(c.Login.Username));
        tree.WriteString(kPassword, c.Login.Password, true);
        tree.CloseGroup();
    }
    // 4-8. Flags, number, size, the saved statuses, the user's refusals.
    tree.WriteNumber(kFlags, c.Flags);
    tree.WriteNumber(kId, uint32_t(id_));
    if (size != kUnknownSize) tree.WriteNumber(kSize, size);
    DownloadStatus status = status_, super = superStatus_;
    if (StatusHas(status, DSF_SAVED)) tree.WriteNumber(kStatus, StatusRow(status));
    if (StatusHas(super, DSF_SAVED)) tree.WriteNumber(kSuperStatus, StatusRow(super));
    if (authorizationCancelled_) tree.WriteNumber(kAuthCancelled, uint32_t(authorizationCancelled_.load()));
    if (renameCancelled_) tree.WriteNumber(kRenameCancelled, uint32_t(renameCancelled_.load()));
    // 9. The sections.
    if (tree.OpenGroup(kSectList)) {
        for (const SSection& s : sections) {
            if (!s.IsValid() || !tree.OpenGroup(kSect)) continue;
            tree.WriteNumber(kStart, s.Start);
            tree.WriteNumber(kSectSize, s.Size);
            tree.CloseGroup();
        }
        tree.CloseGroup();
    }
    // The server's date of the file, so that a resumed download notices a changed file.
    if (!lastModified.empty() && lastModified.find_first_of(std::string("|\0", 2)) == std::string::npos)
        tree.WriteString(kLastModified, lastModified);
    // The file at the target path was made by this download (written before it was made).
    if (ownFile_) tree.WriteNumber(kOwnFile, 1);
    return true;
}

bool CDownload::Load(CTextTree& tree) {
    SDownloadConfig c;
    if (!tree.ReadString(kUrlOriginal, c.URL_original) || !tree.ReadString(kUrlRemote, c.URL_remote) ||
        !tree.ReadString(kLocalFolder, c.LocalFolder) || !tree.ReadString(kPrevServer, c.csPrevServer))
        return false;
    if (c.LocalFolder.find('|') != std::string::npos) return false;
    // A list written before passwords left the addresses still loads: SetUrl takes the login from
    // URL_remote, and the original address forgets the password.
    c.URL_original = AddressWithoutPassword(c.URL_original);
    uint32_t n = 0;
    if (tree.ReadNumber(kClientId, n)) c.ClientID = int32_t(n);
    if (c.ClientID == -1) c.ClientID = 1;
    if (tree.ReadNumber(kPrior, n)) c.Prior = std::clamp(int32_t(n), 0, 10);
    tree.ReadString(kFileName, c.FileName);
    c.FileName = MakeSafeFileName(c.FileName);  // a hand-edited list never names a file elsewhere
    if (tree.ReadNumber(kFlags, n)) c.Flags = n;
    c.StartMode = START_RUN;
    {
        CAutoCriticalSection guard(lock_);
        config_ = c;
    }
    if (!SetUrl(c.URL_remote) && !SetUrl(c.URL_original)) return false;
    // The stored login comes after the address: it holds the password as the user gave it.
    if (tree.EnterGroup(kLoginGroup)) {
        SLogin login;
        if (tree.ReadNumber(kLogin, n)) login.Login = n;
        tree.ReadString(kUsername, login.Username);
        tree.ReadString(kPassword, login.Password, true);
        tree.LeaveGroup();
        CAutoCriticalSection guard(lock_);
        config_.Login = login;
    }
    if (config_.IsWholeFile() && !IsHttpService(config_.Service)) config_.Flags &= ~DCF_WHOLE_FILE;

    id_ = -1;
    if (tree.ReadNumber(kId, n)) id_ = int32_t(n);
    else if (owner_) id_ = owner_->GetFreeID();
    if (tree.ReadNumber(kSize, n)) {
        size_ = n;
        sizeState_ = SIZE_KNOWN;
    }
    if (tree.ReadNumber(kStatus, n)) status_ = StatusFromRow(n);
    if (tree.ReadNumber(kSuperStatus, n)) superStatus_ = StatusFromRow(n);
    if (tree.ReadNumber(kAuthCancelled, n)) authorizationCancelled_ = int32_t(n);
    if (tree.ReadNumber(kRenameCancelled, n)) renameCancelled_ = int32_t(n);
    std::string lastModified;
    if (tree.ReadString(kLastModified, lastModified)) lastModified_ = lastModified;
    if (tree.ReadNumber(kOwnFile, n)) ownFile_ = n != 0 ? 1 : 0;

    SectionList sections;
    if (tree.EnterGroup(kSectList)) {
        CTextTreeNode& list = tree.GetCurrent();
        for (size_t i = 0; i < list.GetChildCount(); ++i) {
            CTextTreeNode* sect = list.GetChild(i);
            if (!sect->IsGroup() || sect->GetName() != kSect) continue;
            SSection s;
            if (!sect->ReadNumber(kStart, s.Start) || !sect->ReadNumber(kSectSize, s.Size)) continue;
            // Sections that are invalid, or lie past the known size, are not kept.
            if (!s.IsValid() || s.End() > kUnknownSize - 1) continue;
            if (size_ != kUnknownSize && s.End() > size_) continue;
            sections.push_back(s);
        }
        tree.LeaveGroup();
    }
    MergeSections(sections);
    {
        CAutoCriticalSection guard(lock_);
        sections_ = sections;
        downloaded_ = SumSections(sections_);
    }
    return true;
}

RefPtr<CDownload> CDownload::CreateFromNode(CTextTree& tree, IDownloader* owner) {
    auto d = RefPtr<CDownload>::Adopt(new CDownload(owner));
    if (!d->Load(tree)) return {};
    d->CheckFileAfterLoad();
    return d;
}

}  // namespace plover
