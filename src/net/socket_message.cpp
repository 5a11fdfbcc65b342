#include "net/socket_message.h"

namespace plover {

SSocketMessage::SSocketMessage(uint32_t k, ISockAdviseSink* s, ISocket* sock) : kind(k), sink(s), socket(sock) {
    if (socket) socket->AddPending();
}

SSocketMessage::~SSocketMessage() {
    if (socket) socket->ReleasePending();
}

void SSocketMessage::Deliver() {
    if (!sink || !socket) return;
    ISocket* s = socket.Get();
    switch (kind) {
        case SMK_CONNECT: sink->OnConnect(s, (value1 & 0xFF) != 0); break;
        case SMK_ACCEPT: sink->OnAccept(s); break;
        case SMK_CLOSE: sink->OnClose(s); break;
        case SMK_READY: sink->OnReady(s); break;
        case SMK_RECEIVE: sink->OnReceive(s, data.get(), length); break;
        case SMK_ERROR: sink->OnError(s, value1); break;
        default: break;
    }
}

}  // namespace plover
