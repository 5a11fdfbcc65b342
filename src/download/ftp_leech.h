#pragma once
// CFTPLeech: the FTP worker. It logs in on a control connection (socket 0), opens a data
// connection (socket 1: passive, connected to the address of the 227 reply; or active, a listening
// socket named in PORT that the server connects to), positions the transfer with REST (also at 0)
// and retrieves the file with RETR, writing what arrives on the data connection into the download.
//
// The conversation is a table: each command follows from the last one sent, and a command goes
// out only when the server's last reply made the worker ready.
//
//   (greeting 220) USER -> 331 -> PASS -> 230 -> TYPE I -> 200 -> PASV -> 227, data connected
//                        \-> 230 (no password) -/                  \-> PORT -> 200
//   -> REST position -> 350 -> RETR path -> 150 (or 125) -> data
//
// The probe (0..0, size unknown) stops at the 150 reply once it has read the size there. When the
// reply names no size, the probe's own transfer becomes the download's one stream: it writes from
// byte 0 to the end of the file, which is whole once the data connection has closed and the server
// has said 226. So a server that never tells the size still delivers the file, and is asked once.
//
// A section worker writes only its own section (clipped at its end) and stops once its position
// has passed its end; after the 150 its control connection is left out of the idle time-out, since
// the data connection carries the traffic.
//
// 530 (login refused): with one worker, "Temporarily unavailable" when another worker of this
// program is logged in to the same server (the server's user limit), else the login request; with
// several workers, one fewer. 421 (service not available) is the server's limit too: one fewer
// worker, or "Server error" (retried) for the last one.
//
// Replies are logged as they arrive; commands as sent, with the password masked ("PASS ****").
#include <cstdint>
#include <string>

#include "download/ftp_reply.h"
#include "download/leech.h"

namespace plover {

// The FTP settings of the FTP proxy record that every worker reads.
struct SFtpSettings {
    uint32_t eMode = 0;  // FTP proxy mode 2: "USER user@server"
    bool bPasv = false;  // passive data connections
};
SFtpSettings CurrentFtpSettings();

// The password sent for an anonymous login.
inline constexpr const char* kAnonymousPassword = "plover@example.com";

class CFTPLeech final : public CLeech {
public:
    CFTPLeech(IDownload* download, uint32_t start, uint32_t end, SLeechEnv env, SFtpSettings settings);

    uint8_t IsPreparing() override { return preparing_; }
    void Stop() override;
    void OnFinish() override;

    bool OnConnect(ISocket* socket, bool success) override;
    bool OnAccept(ISocket* socket) override;
    bool OnClose(ISocket* socket) override;
    bool OnReady(ISocket* socket) override;
    bool OnReceive(ISocket* socket, const uint8_t* data, uint32_t length) override;

protected:
    ~CFTPLeech() override;

private:
    bool IsControl(ISocket* socket) const { return !sockets_.IsEmpty() && sockets_[0] == socket; }
    bool IsProbe();
    void SendNext();
    std::string NextCommand();
    std::string UserCommand();
    std::string PortCommand();
    std::string RetrieveCommand();
    void OnReply(const SFtpReply& reply);
    void OnTransferStarts(const SFtpReply& reply);
    void OnLoginRefused();
    void OnServerLimit();
    void OpenPassive(const std::string& text);
    void OnData(const uint8_t* data, uint32_t length);
    void Write(const uint8_t* data, uint32_t length);
    void CompleteStreamIfDone();
    void Fail(DownloadStatus status);

    SFtpSettings settings_;
    uint8_t preparing_ = 1;       // until the data connection is up
    uint8_t requestSent_ = 0;
    uint32_t lastCommand_ = 0;    // tag of the last command sent (CommandTag); 0 before the first
    uint8_t ready_ = 0;           // the server's last reply allows the next command
    uint8_t passwordNeeded_ = 0;  // 331 after USER
    uint8_t dataUp_ = 0;
    CFtpReplyReader replies_;
    bool transferStarted_ = false;  // 150 or 125 seen
    bool streaming_ = false;        // the probe became the whole-file stream (no size in the 150)
    bool transferDone_ = false;     // 226 seen
    bool dataClosed_ = false;
    std::string early_;             // data that reached a probe before its 150 reply
};

// Makes an FTP worker for bytes start..end of the download (0..0: the probe) with the default
// environment and the current FTP settings, and opens its control connection. Null when the
// connection could not be started.
RefPtr<ILeech> StartFtpLeech(IDownload* download, uint32_t start, uint32_t end);
RefPtr<ILeech> StartFtpLeech(IDownload* download, uint32_t start, uint32_t end, SLeechEnv env,
                             SFtpSettings settings);

}  // namespace plover
