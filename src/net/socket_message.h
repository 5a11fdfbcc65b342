#pragma once
// SSocketMessage: one socket notification on its way from the socket engine's thread to the
// thread of the engine that owns the socket (EOP_SOCKET_MESSAGE). It holds the owner's sink and
// the socket, and counts as one of the socket's pending messages from construction to
// destruction, which is what the socket engine's back-pressure looks at. Received data travels
// in a block owned by the message (received_data.h).
#include "engine/engine.h"
#include "net/received_data.h"
#include "net/socket_interfaces.h"

namespace plover {

enum ESocketMessageKind : uint32_t {
    SMK_CONNECT = 0,  // value1: success
    SMK_ACCEPT = 1,
    SMK_CLOSE = 2,
    SMK_READY = 3,
    SMK_RECEIVE = 4,  // data and its length
    SMK_ERROR = 5,    // value1: the error code
};

struct SSocketMessage final : SSocketMessageBase {
    SSocketMessage(uint32_t kind, ISockAdviseSink* sink, ISocket* socket);
    ~SSocketMessage() override;
    SSocketMessage(const SSocketMessage&) = delete;
    SSocketMessage& operator=(const SSocketMessage&) = delete;

    // On the owner's engine thread: calls the sink's method of this kind.
    void Deliver() override;

    uint32_t kind;
    RefPtr<ISockAdviseSink> sink;
    RefPtr<ISocket> socket;
    uint32_t value1 = 0;
    uint32_t length = 0;
    CReceivedData data;
};

}  // namespace plover
