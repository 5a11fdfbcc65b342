#pragma once
// Event selection for one socket: the single pollable "event" that the socket engine keeps in
// its event table, and the network events it stands for.
//
// The event is an epoll instance holding the socket and an eventfd (the kick). The epoll
// descriptor is readable while a network event is due or the socket has been kicked; it does not
// stay readable for something already reported, so an engine that leaves data unread (the
// throttle) is woken at most once more (when the read notice, which leaves the epoll set lazily,
// fires unarmed and is taken out) until a receive re-arms the read notice or a kick comes:
//  - connect: reported once, with the connect's error (SO_ERROR); on success also write;
//  - read: reported when data is waiting; re-armed only by a receive;
//  - write: after the connect, and after a send that would have blocked, when it can go on;
//  - accept: reported once a connection is waiting on a listening socket;
//  - close: reported once, and only when the peer has closed and no received byte is left
//    unread. After the peer's FIN (or a reset) the socket leaves the epoll set, because its
//    readiness would stay level for good; from then on a receive re-arms by kicking the event,
//    which lets the engine drain what the kernel still holds and then report the close.
// Thread use: Read and ArmRead on the socket engine thread, ArmWrite from a sending thread,
// Signal from any thread; a small lock keeps the armed state and the epoll set consistent.
#include <mutex>

#include "net/socket_interfaces.h"

namespace plover {

class CEventSelect {
public:
    enum class Mode { Connecting, Listening, Connected };

    CEventSelect() = default;
    ~CEventSelect();
    CEventSelect(const CEventSelect&) = delete;
    CEventSelect& operator=(const CEventSelect&) = delete;

    // Makes the event for socket `fd` (not owned) in the given mode; false on failure.
    bool Create(int fd, Mode mode);
    Handle GetHandle() const { return epoll_; }

    // Makes the event readable until the next Read (any thread).
    void Signal();
    // Reads and clears the due network events; false when the event could not be read.
    bool Read(SNetworkEvents* out);
    // A receive was made: the read notice may be reported again.
    void ArmRead();
    // A send would have blocked: report write once it can go on.
    void ArmWrite();

private:
    void Report(SNetworkEvents* out, int bit, int error);
    void ReadConnected(uint32_t ready, SNetworkEvents* out);
    void UpdateInterest(uint32_t firedUnarmed = 0);
    uint32_t WantedInterest() const;

    std::mutex lock_;
    int fd_ = -1;
    int epoll_ = -1;
    int kick_ = -1;
    Mode mode_ = Mode::Connecting;
    bool inSet_ = false;        // the socket is in the epoll set
    uint32_t interest_ = 0;     // its epoll events while in the set
    bool connectArmed_ = false;
    bool acceptArmed_ = false;
    bool readArmed_ = false;
    bool writeArmed_ = false;
    bool closeArmed_ = false;
    bool peerClosed_ = false;   // FIN or reset seen; the socket has left the epoll set
    int closeError_ = 0;
};

}  // namespace plover
