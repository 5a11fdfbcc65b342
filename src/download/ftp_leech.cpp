#include "download/ftp_leech.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cstring>

#include "download/ftp_logins.h"
#include "net/proxy_info.h"

namespace plover {
namespace {

constexpr uint32_t kUser = CommandTag("USER");
constexpr uint32_t kPass = CommandTag("PASS");
constexpr uint32_t kType = CommandTag("TYPE");
constexpr uint32_t kPasv = CommandTag("PASV");
constexpr uint32_t kPort = CommandTag("PORT");
constexpr uint32_t kRest = CommandTag("REST");
constexpr uint32_t kRetr = CommandTag("RETR");

// Data that may reach a probe before its 150 reply is held up to this much (the reply is on its
// way: the server sends it before the data).
constexpr size_t kMaxEarlyData = 4u << 20;

bool HasLineBreak(const std::string& s) { return s.find_first_of(std::string("\r\n\0", 3)) != std::string::npos; }

}  // namespace

SFtpSettings CurrentFtpSettings() {
    SFTPProxyInfo ftp = GetFTPProxy();
    return SFtpSettings{ftp.eMode, ftp.bPasv != 0};
}

CFTPLeech::CFTPLeech(IDownload* download, uint32_t start, uint32_t end, SLeechEnv env, SFtpSettings settings)
    : CLeech(download, start, end, std::move(env)), settings_(settings) {}

CFTPLeech::~CFTPLeech() { FtpLoginLeave(this); }

void CFTPLeech::Stop() {
    FtpLoginLeave(this);
    CLeech::Stop();
}

void CFTPLeech::OnFinish() { FtpLoginLeave(this); }

// The probe asks for the size only; a worker for 0..0 of a file whose size is known (one byte)
// is a section worker.
bool CFTPLeech::IsProbe() { return probe_ && !streaming_; }

// Sending -----------------------------------------------------------------------------------------

bool CFTPLeech::OnReady(ISocket*) {
    if (!download_ || stopped_) return false;
    RefPtr<CFTPLeech> self(this);
    SendNext();
    return true;
}

void CFTPLeech::SendNext() {
    if (!download_ || stopped_ || !ready_ || sockets_.IsEmpty()) return;
    std::string command = NextCommand();
    if (command.empty() || stopped_) return;
    if (HasLineBreak(command)) {  // a login or path with a line break would smuggle in commands
        Log(LOG_RESPONSE, "Refused to send a command with a line break");
        Fail(DS_FAILED);
        return;
    }
    std::string line = command + "\r\n";
    if (!sockets_[0]->Send(line.data(), uint32_t(line.size()))) {
        Finish();
        return;
    }
    Log(LOG_REQUEST, LoggedCommand(command));
    lastCommand_ = CommandTag(command);
    ready_ = 0;
    state_ = LEECH_REQUEST_SENT;
    requestSent_ = 1;
}

std::string CFTPLeech::NextCommand() {
    switch (lastCommand_) {
        case 0:
            return UserCommand();
        case kUser:
            if (!passwordNeeded_) {
                lastCommand_ = kPass;  // the server took the user without a password
                return NextCommand();
            } else {
                const SLogin& login = download_->GetConfig()->Login;
                return "PASS " + (login.InUse() ? login.Password : std::string(kAnonymousPassword));
            }
        case kPass:
            return "TYPE I";
        case kType:
            return settings_.bPasv ? "PASV" : PortCommand();
        case kPort:
        case kPasv:
            return "REST " + std::to_string(position_);
        case kRest:
            return RetrieveCommand();
        default:
            return {};
    }
}

std::string CFTPLeech::UserCommand() {
    const SDownloadConfig* config = download_->GetConfig();
    std::string user = config->Login.InUse() ? config->Login.Username : "anonymous";
    if (settings_.eMode == FTP_PROXY_FTP) {
        // The proxy learns the server from the user name; a port other than 21 goes with it, or
        // the proxy would connect to the wrong one.
        user += "@" + config->Server;
        if (config->Port != 21 && config->Port != 0) user += ":" + std::to_string(config->Port);
    }
    return "USER " + user;
}

std::string CFTPLeech::PortCommand() {
    RefPtr<ISocket> listener;
    uint16_t port = 0;
    if (!env_.sockets || !env_.sockets->CreateListenSocket(SinkForSockets(), &port, listener.Put()) || !listener) {
        Fail(DS_FAILED);
        return {};
    }
    sockets_.Add(listener.Get());
    listener->RegisterEvent();
    std::string local;
    sockets_[0]->GetLocalAddressText(local);
    if (local.empty()) {
        Fail(DS_FAILED);
        return {};
    }
    return FormatPortCommand(local, port);
}

// The path of an address is relative to the login folder: "ftp://host/pub/a.bin" is "pub/a.bin"
// there, and "ftp://host/%2Fpub/a.bin" the absolute "/pub/a.bin".
std::string CFTPLeech::RetrieveCommand() {
    std::string path = download_->GetConfig()->Object;
    if (!path.empty() && path[0] == '/') path.erase(0, 1);
    return "RETR " + path;
}

// Replies -----------------------------------------------------------------------------------------

bool CFTPLeech::OnReceive(ISocket* socket, const uint8_t* data, uint32_t length) {
    if (!download_ || stopped_) return false;
    RefPtr<CFTPLeech> self(this);
    if (!IsControl(socket)) {
        OnData(data, length);
        return true;
    }
    Log(LOG_RESPONSE, std::string(reinterpret_cast<const char*>(data), length));
    for (const SFtpReply& reply : replies_.Feed(data, length)) {
        if (stopped_) break;
        OnReply(reply);
    }
    SendNext();
    return true;
}

void CFTPLeech::OnReply(const SFtpReply& reply) {
    switch (reply.code) {
        case 220:
            if (lastCommand_ == 0) ready_ = 1;
            return;
        case 331:
            if (lastCommand_ == kUser) {
                passwordNeeded_ = 1;
                ready_ = 1;
            }
            return;
        case 230:
            if (lastCommand_ == kUser || lastCommand_ == kPass) {
                ready_ = 1;
                FtpLoginEnter(this, download_->GetServer());
            }
            return;
        case 200:
        case 250:
            ready_ = 1;
            return;
        case 226:
            ready_ = 1;
            transferDone_ = true;
            CompleteStreamIfDone();
            return;
        case 227:
            if (lastCommand_ == kPasv) OpenPassive(reply.text);
            return;
        case 350:
            if (lastCommand_ == kRest) ready_ = 1;
            return;
        case 125:
            if (lastCommand_ != kRetr) return;
            download_->SetStatus(DS_DOWNLOADING);
            OnTransferStarts(reply);
            return;
        case 150:
            OnTransferStarts(reply);
            return;
        case 421: OnServerLimit(); return;
        case 425: Fail(DS_CANT_CONNECT); return;
        case 426: Fail(DS_ABORTED); return;
        case 530: OnLoginRefused(); return;
        case 550: Fail(DS_NOT_AVAILABLE); return;
        default: Fail(DS_FAILED); return;
    }
}

void CFTPLeech::OnTransferStarts(const SFtpReply& reply) {
    transferStarted_ = true;
    if (IsProbe()) {
        if (std::optional<uint64_t> size = ParseTransferSize(reply.text)) {
            RefPtr<IDownload> download = download_;
            if (*size >= 0xFFFFFFFFull) {  // a 32-bit size cannot hold it
                Fail(DS_FILE_TOO_BIG);
                return;
            }
            download->SetSize(uint32_t(*size));
            Finish();
            return;
        }
        // No size: this transfer from byte 0 becomes the download's one stream to the end.
        streaming_ = true;
        probe_ = 0;
        end_ = 0xFFFFFFFFu;
        download_->ResetSections();
        Log(LOG_RESPONSE, "The server did not tell the size: fetching the file in one stream");
        if (!early_.empty()) {
            std::string held;
            held.swap(early_);
            Write(reinterpret_cast<const uint8_t*>(held.data()), uint32_t(held.size()));
            if (stopped_) return;
        }
    }
    ready_ = 1;
    sockets_[0]->SetActive(false);  // the data connection carries the traffic from now on
}

void CFTPLeech::OnLoginRefused() {
    RefPtr<IDownload> download = download_;
    int workers = download->GetLeechCount();
    if (workers >= 2) {
        download->SetSectionLimit(workers - 1);
        Finish();
    } else if (FtpLoginOtherOn(download->GetServer(), this)) {
        Fail(DS_TEMPORARILY_UNAVAILABLE);
    } else {
        download->OnUnauthorized();
        Finish();
    }
}

void CFTPLeech::OnServerLimit() {
    RefPtr<IDownload> download = download_;
    int workers = download->GetLeechCount();
    if (workers >= 2) {
        download->SetSectionLimit(workers - 1);
        Finish();
    } else {
        Fail(DS_SERVER_ERROR);
    }
}

// The data connection -----------------------------------------------------------------------------

void CFTPLeech::OpenPassive(const std::string& text) {
    std::optional<SFtpDataAddress> address = ParsePasvReply(text);
    if (!address || sockets_.GetSize() != 1) {
        Fail(DS_FAILED);
        return;
    }
    sockaddr_in to{};
    to.sin_family = AF_INET;
    std::memcpy(&to.sin_addr, address->host, 4);
    to.sin_port = htons(address->port);
    if (to.sin_addr.s_addr == htonl(INADDR_ANY)) {
        sockaddr_in peer{};  // "any address" means the server's own
        sockets_[0]->GetRemoteAddress(&peer);
        to.sin_addr = peer.sin_addr;
    }
    RefPtr<ISocket> data;
    if (!env_.sockets || !env_.sockets->CreateSocket(SinkForSockets(), &to, data.Put(), false) || !data) {
        Fail(DS_CANT_CONNECT);
        return;
    }
    sockets_.Add(data.Get());
    Log(LOG_CONNECTING, AddressText(to));
    data->RegisterEvent();
    if (!data->IsStarted()) Fail(DS_CANT_CONNECT);
}

bool CFTPLeech::OnConnect(ISocket* socket, bool success) {
    if (!download_ || stopped_) return false;
    if (IsControl(socket)) return CLeech::OnConnect(socket, success);
    RefPtr<CFTPLeech> self(this);
    if (!success) {
        Fail(DS_CANT_CONNECT);
        return true;
    }
    sockaddr_in peer{};
    if (socket) socket->GetRemoteAddress(&peer);
    Log(LOG_CONNECTED, AddressText(peer));
    preparing_ = 0;
    dataUp_ = 1;
    ready_ = 1;
    SendNext();
    return true;
}

bool CFTPLeech::OnAccept(ISocket* socket) {
    if (!download_ || stopped_) return false;
    if (sockets_.GetSize() < 2 || sockets_[1] != socket || dataUp_) return true;
    RefPtr<CFTPLeech> self(this);
    if (!socket->Accept()) {
        Fail(DS_FAILED);
        return true;
    }
    sockaddr_in peer{};
    socket->GetRemoteAddress(&peer);
    Log(LOG_CONNECTED, AddressText(peer));
    preparing_ = 0;
    dataUp_ = 1;
    return true;
}

bool CFTPLeech::OnClose(ISocket* socket) {
    if (!download_ || stopped_) return false;
    RefPtr<CFTPLeech> self(this);
    if (IsControl(socket)) {
        // Closed before the transfer began, without a reply that says why.
        if (!transferStarted_) Fail(DS_SERVER_ERROR);
        return true;
    }
    dataClosed_ = true;
    if (streaming_) {
        CompleteStreamIfDone();
    } else if (HasEnd()) {
        // The server's file ended before this section did.
        Fail(DS_ABORTED);
    }
    return true;
}

void CFTPLeech::OnData(const uint8_t* data, uint32_t length) {
    if (length == 0) return;
    if (state_ != LEECH_RECEIVING) {
        state_ = LEECH_RECEIVING;
        if (downloader_) downloader_->Reschedule();
        download_->SetStatus(DS_DOWNLOADING);
    }
    download_->SetSuperStatus(DS_NONE);
    if (sockets_.GetSize() > 1) sockets_[1]->SetThrottled(true);
    if (IsProbe()) {
        // Before the 150 the probe cannot tell whether it will need these bytes; after it, it has
        // stopped or become the stream.
        if (transferStarted_ || early_.size() + length > kMaxEarlyData) {
            Finish();
            return;
        }
        early_.append(reinterpret_cast<const char*>(data), length);
        return;
    }
    Write(data, length);
}

void CFTPLeech::Write(const uint8_t* data, uint32_t length) {
    // Clipped to the section: never a byte past its end.
    int64_t room = int64_t(end_) - int64_t(position_) + 1;
    uint32_t n = room <= 0 ? 0 : uint32_t(std::min<int64_t>(length, room));
    if (n == 0) {
        Finish();
        return;
    }
    if (!download_->WriteData(position_, data, n)) {
        Finish();
        return;
    }
    uint64_t next = uint64_t(position_) + n;
    position_ = uint32_t(std::min<uint64_t>(next, 0xFFFFFFFFull));
    if (next > uint64_t(end_)) Finish();
}

void CFTPLeech::CompleteStreamIfDone() {
    if (!streaming_ || !transferDone_ || !dataClosed_ || stopped_) return;
    RefPtr<IDownload> download = download_;
    Finish();
    download->Complete();
}

void CFTPLeech::Fail(DownloadStatus status) {
    RefPtr<IDownload> download = download_;
    download->SetStatus(status);
    Finish();
}

RefPtr<ILeech> StartFtpLeech(IDownload* download, uint32_t start, uint32_t end, SLeechEnv env,
                             SFtpSettings settings) {
    auto leech = RefPtr<CFTPLeech>::Adopt(new CFTPLeech(download, start, end, std::move(env), settings));
    if (!leech->Connect()) return {};
    return RefPtr<ILeech>(leech.Get());
}

RefPtr<ILeech> StartFtpLeech(IDownload* download, uint32_t start, uint32_t end) {
    return StartFtpLeech(download, start, end, DefaultLeechEnv(), CurrentFtpSettings());
}

}  // namespace plover
