#pragma once
// CHTTPLeech: the HTTP/1.0 worker. One connection, one GET (sent when the connection is ready),
// then the response: the header is collected across blocks until it is whole (never written into
// the file), its status decides what happens, and the body is written into the download at the
// worker's position.
//
// What a worker writes is always its own section: bytes before its position (a server that sent
// more than asked) are skipped, bytes past its end are never written, an error page is never body,
// and a range other than the one asked for is refused. A 206 whose total or "Last-Modified" shows
// that the server's file is no longer the one on disk makes the download start again from byte 0.
//
// Status handling: 200 (probe: learn the size, and write the body at once as the planner's first
// section, so a small file takes one request and a larger one's first section no request of its own; section worker: the server ignores
// ranges, so the download drops its sections and this worker fetches the whole file from byte 0),
// 206 (body), 300/301/302/303/307/308 (redirect to "Location"), 304 "Not modified", 401 (login
// request), 403 "Forbidden", 404 "File not found", 500-502 "Server error", 503 (fewer workers, or
// "Server error" for the last one), anything else "Failed". A response that is not HTTP or has a
// zero byte in its header is "Failed"; a connection that ends before the worker's bytes are in
// (no reply, half a header, a short body) is "Aborted", a failed attempt that the download's retry
// rule counts. See http_leech.cpp for the steps.
//
// Kept connections: with a pool in its environment the worker asks for HTTP/1.1 with
// "Connection: keep-alive" and follows the response's own framing (its length, or its chunks,
// decoded). When the body has ended by that framing, the server did not ask to close, nothing came
// after the end and the worker is done, the connection goes to the pool for the next worker to the
// same place; otherwise it is closed. A request on a kept connection that gets no answer (closed,
// refused, or bytes that are no HTTP response) is sent once more on a new connection, which is not
// a failed attempt.
#include <optional>

#include "download/http_body.h"
#include "download/http_response.h"
#include "download/leech.h"

namespace plover {

class CHTTPLeech final : public CLeech {
public:
    CHTTPLeech(IDownload* download, uint32_t start, uint32_t end, SLeechEnv env);

    uint8_t IsPreparing() override { return preparing_; }

    bool OnClose(ISocket* socket) override;
    bool OnReady(ISocket* socket) override;
    bool OnReceive(ISocket* socket, const uint8_t* data, uint32_t length) override;

    // The request this worker sends now (also what OnReady sends).
    std::string BuildRequest();

protected:
    std::string ConnectionKey() override;

private:
    bool IsProbe();
    // The body bytes of a block (after the header: header is the response just read) through the
    // response's framing to the status handling and the file; ends the body when it is whole.
    void TakeBody(const uint8_t* data, uint32_t length, const SHttpResponse* header);
    void OnBodyEnd();
    // The request on a kept connection went unanswered: once, a new connection. False when this
    // does not apply (the caller fails as it would have).
    bool RetryOnNewConnection();
    void OnHeader(const SHttpResponse& response, const uint8_t* body, uint32_t length);
    void OnOk(const SHttpResponse& response, const uint8_t* body, uint32_t length);
    void OnPartial(const SHttpResponse& response, const uint8_t* body, uint32_t length);
    void OnOther(const SHttpResponse& response);
    void OnBusy(const SHttpResponse& response);  // 429 or 503: fewer workers, or wait as asked
    bool ServerFileChanged(const SHttpResponse& response, uint32_t total);
    void TakeNameAndDate(const SHttpResponse& response);
    void WriteBody(const uint8_t* data, uint32_t length);
    void Fail(DownloadStatus status);

    uint8_t headerPending_ = 1;
    uint8_t requestSent_ = 0;
    uint8_t preparing_ = 1;
    CHttpHeaderReader reader_;
    uint32_t skip_ = 0;                   // body bytes before the position (a wider range than asked)
    uint32_t last_ = 0xFFFFFFFFu;         // the last byte the response carries (Content-Range)
    std::optional<uint32_t> announced_;   // Content-Length of a body read to the end of the connection
    SBodyFraming framing_;                // how the body of the response ends
    uint64_t bodyLeft_ = 0;               // BODY_LENGTH: bytes still due
    CChunkedDecoder chunks_;
    std::vector<CChunkedDecoder::SSpan> spans_;
    uint8_t bodyEnded_ = 0;               // the framing says the body is whole
    uint8_t unclean_ = 0;                 // bytes after the end, or broken chunks: never kept
    uint8_t retried_ = 0;                 // the request went out again on a new connection
};

// Makes an HTTP worker for bytes start..end of the download (0..0: the probe) with the default
// environment and opens its connection. Null when the connection could not be started.
RefPtr<ILeech> StartHttpLeech(IDownload* download, uint32_t start, uint32_t end);
// The same with a given environment.
RefPtr<ILeech> StartHttpLeech(IDownload* download, uint32_t start, uint32_t end, SLeechEnv env);

}  // namespace plover
