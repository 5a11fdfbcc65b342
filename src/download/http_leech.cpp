#include "download/http_leech.h"

#include <algorithm>
#include <ctime>

#include "app/settings.h"
#include "download/http_request.h"
#include "download/page_test.h"
#include "download/request_identity.h"
#include "download/run_request_options.h"
#include "download/retry_rule.h"

namespace plover {

CHTTPLeech::CHTTPLeech(IDownload* download, uint32_t start, uint32_t end, SLeechEnv env)
    : CLeech(download, start, end, std::move(env)) {}

// The probe asks for the size; a single-stream download has no probe (its 0..0 worker fetches the
// whole file), and a 0..0 worker of a file whose size is known fetches its one byte.
bool CHTTPLeech::IsProbe() { return probe_ != 0; }

std::string CHTTPLeech::BuildRequest() {
    SDownloadConfig* config = download_->GetConfig();
    bool singleStream = download_->IsSingleStream();
    SHttpRequest r;
    r.kind = ChooseRequestKind(config->IsWholeFile(), IsProbe());
    if (r.kind == HTTP_REQUEST_RANGED) {
        // A single stream runs to the end of the file (unknown size: 0xFFFFFFFF, so no range).
        r.rangeStart = position_;
        r.rangeEnd = singleStream ? download_->GetSize() - 1 : end_;
    }
    r.server = config->Server;
    r.object = config->Object;
    r.port = config->Port;
    r.service = config->Service;
    r.referrer = config->csPrevServer;
    r.viaProxy = env_.httpProxyInUse && env_.httpProxyInUse();
    r.login = config->Login.Login != 0;
    r.user = config->Login.Username;
    r.password = config->Login.Password;
    r.ifModifiedSince = config->IfModifiedSince;
    AddIdentityHeaders(r);
    r.keepAlive = bool(env_.pool);
    return BuildHttpRequest(r);
}

// Everything a kept connection must match for the next request: where it goes (the scheme, the
// server and port asked for, and the address connected to, which is the proxy's when one is in
// use) and, for TLS, the trust it was checked with.
std::string CHTTPLeech::ConnectionKey() {
    if (!download_) return {};
    const SDownloadConfig* config = download_->GetConfig();
    std::string server;
    for (char c : config->Server) server += char(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    std::string key = std::string(ServiceScheme(config->Service)) + "://" + server + ":" +
                      std::to_string(config->Port) + " at " + AddressText(download_->GetServerAddress());
    if (env_.httpProxyInUse && env_.httpProxyInUse()) key += " via proxy";
    if (config->Service == SERVICE_HTTPS) {
        STlsOptions tls = env_.tlsOptions ? env_.tlsOptions() : STlsOptions{};
        key += tls.insecure ? " unverified" : " verified";
        if (!tls.caFile.empty()) key += " anchors " + tls.caFile;
    }
    return key;
}

bool CHTTPLeech::OnReady(ISocket* socket) {
    if (requestSent_ || stopped_ || !download_ || sockets_.IsEmpty() || !IsMine(socket)) return false;
    RefPtr<CHTTPLeech> self(this);
    LogTlsSession(sockets_[0]);
    std::string request = WithRunHeaderLines(BuildRequest());
    if (!sockets_[0]->Send(request.data(), uint32_t(request.size()))) {
        if (RetryOnNewConnection()) return true;
        Finish();
        return false;
    }
    Log(LOG_REQUEST, request);
    state_ = LEECH_REQUEST_SENT;
    requestSent_ = 1;
    return true;
}

bool CHTTPLeech::OnReceive(ISocket* socket, const uint8_t* data, uint32_t length) {
    // Bytes after the end on a connection already parked: it is not fit for the next request.
    if (parked_ && socket == parked_.Get()) {
        if (env_.pool) env_.pool->Discard(socket);
        return true;
    }
    if (!download_ || stopped_ || !IsMine(socket)) return false;
    RefPtr<CHTTPLeech> self(this);
    if (!headerPending_) {
        TakeBody(data, length, nullptr);
        return true;
    }
    size_t bodyAt = 0;
    switch (reader_.Feed(data, length, &bodyAt)) {
        case CHttpHeaderReader::HEADER_INCOMPLETE:
            return true;  // the rest of the header comes with the next block
        case CHttpHeaderReader::HEADER_NOT_HTTP:
        case CHttpHeaderReader::HEADER_TOO_LONG:
        case CHttpHeaderReader::HEADER_MALFORMED:
            // On a kept connection this may be what the last server left behind, not an answer.
            if (RetryOnNewConnection()) return true;
            headerPending_ = 0;
            Fail(DS_FAILED);
            return true;
        case CHttpHeaderReader::HEADER_DONE:
            break;
    }
    headerPending_ = 0;
    preparing_ = 0;
    Log(LOG_RESPONSE, reader_.Response().text);
    framing_ = BodyFramingOf(reader_.Response());
    bodyLeft_ = framing_.length;
    TakeBody(data + bodyAt, length - uint32_t(bodyAt), &reader_.Response());
    return true;
}

void CHTTPLeech::TakeBody(const uint8_t* data, uint32_t length, const SHttpResponse* header) {
    spans_.clear();
    size_t used = length;
    switch (framing_.end) {
        case BODY_NONE:
            used = 0;
            bodyEnded_ = 1;
            break;
        case BODY_LENGTH: {
            uint64_t n = std::min<uint64_t>(bodyLeft_, length);
            if (n) spans_.push_back({0, size_t(n)});
            bodyLeft_ -= n;
            used = size_t(n);
            bodyEnded_ = bodyLeft_ == 0;
            break;
        }
        case BODY_CHUNKED:
            switch (chunks_.Feed(data, length, spans_, &used)) {
                case CChunkedDecoder::CHUNKS_DONE: bodyEnded_ = 1; break;
                case CChunkedDecoder::CHUNKS_ERROR: unclean_ = 1; break;
                case CChunkedDecoder::CHUNKS_MORE: break;
            }
            break;
        case BODY_TO_CLOSE:
            if (length) spans_.push_back({0, length});
            break;
    }
    if (used < length) unclean_ = 1;  // after the end: the server's mistake, never the next answer
    size_t next = 0;
    if (header) {
        // The status handling sees the first body bytes with the header, as they came.
        bool first = !spans_.empty();
        OnHeader(*header, first ? data + spans_[0].offset : data, first ? uint32_t(spans_[0].length) : 0);
        next = first ? 1 : 0;
    }
    for (; next < spans_.size() && !stopped_; ++next) WriteBody(data + spans_[next].offset, uint32_t(spans_[next].length));
    if (framing_.end == BODY_CHUNKED && unclean_ && !bodyEnded_ && !stopped_) {
        Fail(DS_ABORTED);  // a broken chunked body: what follows cannot be trusted as the file
        return;
    }
    if (bodyEnded_) OnBodyEnd();
}

void CHTTPLeech::OnBodyEnd() {
    if (!stopped_) {
        // The server's answer is whole. A stream of unknown size is the file; a worker still
        // waiting for its bytes got fewer than the answer promised.
        if (download_->IsSingleStream() && end_ == 0xFFFFFFFFu && !(announced_ && position_ < *announced_)) {
            download_->Complete();
            Finish();
        } else {
            Fail(DS_ABORTED);
        }
    }
    if (stopped_ && framing_.keepAlive && !unclean_) ParkConnection();
}

bool CHTTPLeech::RetryOnNewConnection() {
    if (!reused_ || retried_ || stopped_ || !download_) return false;
    retried_ = 1;
    Log(LOG_CONNECTING, "The kept connection gave no answer; sending the request again on a new one");
    headerPending_ = 1;
    requestSent_ = 0;
    preparing_ = 1;
    reader_ = CHttpHeaderReader();
    framing_ = SBodyFraming();
    chunks_ = CChunkedDecoder();
    bodyEnded_ = 0;
    unclean_ = 0;
    if (!ReopenConnection()) Fail(DS_CANT_CONNECT);
    return true;
}

void CHTTPLeech::OnHeader(const SHttpResponse& response, const uint8_t* body, uint32_t length) {
    SDownloadConfig* config = download_->GetConfig();
    KeepAnswerCookies(config->Server, config->Object, config->Service, response);
    switch (response.status) {
        case 200:
            OnOk(response, body, length);
            return;
        case 206:
            OnPartial(response, body, length);
            return;
        case 401:
            download_->OnUnauthorized();
            Finish();
            return;
        default:
            OnOther(response);
    }
}

void CHTTPLeech::OnOther(const SHttpResponse& response) {
    switch (response.status) {
        case 300: case 301: case 302: case 303: case 307: case 308:
            // The download decides whether the location can be followed (none or a blank one cannot).
            download_->Redirect(response.Find("Location").value_or(""));
            Finish();
            return;
        case 304: Fail(DS_NOT_MODIFIED); return;
        case 403: Fail(DS_FORBIDDEN); return;
        case 404: Fail(DS_FILE_NOT_FOUND); return;
        case 500: case 501: case 502: Fail(DS_SERVER_ERROR); return;
        case 429: case 503: OnBusy(response); return;
        default: Fail(DS_FAILED);
    }
}

void CHTTPLeech::OnBusy(const SHttpResponse& response) {
    std::optional<uint32_t> waitMs;
    if (auto after = response.Find("Retry-After"))
        waitMs = RetryAfterMs(*after, int64_t(std::time(nullptr)), GetSettings().dwMaxRetryAfter);
    // The server refuses more connections: run with one worker fewer, unless this is the last.
    bool others = download_->GetLeechCount() >= 2;
    if (others) download_->SetSectionLimit(download_->GetLeechCount() - 1);
    RefPtr<IDownload> download = download_;
    if (waitMs || !others) download->ServerBusy(DS_SERVER_ERROR, waitMs);
    Finish();
}

void CHTTPLeech::TakeNameAndDate(const SHttpResponse& response) {
    if (auto disposition = response.Find("Content-Disposition")) {
        std::string name = ServerFileNameFromDisposition(*disposition);
        if (!name.empty()) download_->SetServerFileName(name);
    }
    if (auto modified = response.Find("Last-Modified")) download_->SetLastModified(*modified);
}

void CHTTPLeech::OnOk(const SHttpResponse& response, const uint8_t* body, uint32_t length) {
    TakeNameAndDate(response);
    bool probe = IsProbe();
    bool html = IsHtmlContentType(response.Find("Content-Type").value_or(""));
    std::optional<std::string> lengthText = response.Find("Content-Length");
    std::optional<uint32_t> size = lengthText ? ParseContentLength(*lengthText) : std::nullopt;
    // A length that a 32-bit size cannot hold must not wrap into a wrong, smaller file.
    if (lengthText && !size && (!probe || !html)) {
        Fail(DS_FILE_TOO_BIG);
        return;
    }
    bool sizeTaken = false;
    if (probe) {
        if (html && !LooksLikePage(download_->GetOriginalUrl())) {
            // A page where a file was expected: it is fetched whole and followed when complete.
            Finish();
            download_->ResetSections();
            download_->MarkHtmlSubstitute();
            return;
        }
        if (!html && size) {
            if (!download_->SetSize(*size)) {
                Finish();
                return;
            }
            sizeTaken = true;
            uint32_t first = *size ? download_->FirstSectionSize(*size) : 0;
            if (*size == 0) {
                download_->Complete();  // an empty file is whole as it is
            } else if (first != 0) {
                // Asked without a range, the answer carries the file from byte 0: the planner's
                // first section is this worker's, so a file that one worker would fetch whole
                // comes in one request, and a larger one's first section needs no request of its
                // own. The other sections start once this worker receives.
                probe_ = 0;
                position_ = 0;
                end_ = first - 1;
                WriteBody(body, length);
                return;
            }
        }
    }
    if (download_->GetConfig()->IsWholeFile()) probe = false;
    if (!sizeTaken) {
        uint32_t known = download_->GetSize();
        if (!probe && known != 0 && size && *size != known) {
            // Not the file whose size the download knows: start over rather than mix two files.
            download_->RestartFromZero();
            Finish();
            return;
        }
        // The server does not serve ranges: one stream from byte 0 replaces every section.
        download_->ResetSections();
        if (!probe) {
            position_ = 0;
            end_ = known - 1;  // 0xFFFFFFFF when unknown: the body runs to the end of the connection
            skip_ = 0;
            last_ = 0xFFFFFFFFu;
            if (known == 0) announced_ = size;
            WriteBody(body, length);
            return;
        }
    }
    Finish();  // the probe has learnt the size; its body is not written
}

bool CHTTPLeech::ServerFileChanged(const SHttpResponse& response, uint32_t total) {
    uint32_t known = download_->GetSize();
    if (known != 0 && total != 0xFFFFFFFFu && total != known) return true;
    std::string stored = download_->GetLastModified();
    std::optional<std::string> modified = response.Find("Last-Modified");
    return modified && !stored.empty() && *modified != stored;
}

void CHTTPLeech::OnPartial(const SHttpResponse& response, const uint8_t* body, uint32_t length) {
    std::optional<SContentRange> range;
    if (auto text = response.Find("Content-Range")) range = ParseContentRange(*text);
    if (IsProbe()) {
        // A part where the whole file was asked for: only its total can be used, as the size.
        TakeNameAndDate(response);
        if (!range || range->total == 0xFFFFFFFFu) {
            Fail(DS_FAILED);
            return;
        }
        if (download_->SetSize(range->total) && range->total == 0) download_->Complete();
        Finish();
        return;
    }
    if (!range || range->first > position_ || range->last < position_) {
        Fail(DS_FAILED);  // no range, or one without the next byte due: nothing of it is ours
        return;
    }
    if (ServerFileChanged(response, range->total)) {
        download_->RestartFromZero();
        Finish();
        return;
    }
    if (download_->GetLastModified().empty())
        if (auto modified = response.Find("Last-Modified")) download_->SetLastModified(*modified);
    skip_ = position_ - range->first;
    last_ = range->last;
    WriteBody(body, length);
}

void CHTTPLeech::WriteBody(const uint8_t* data, uint32_t length) {
    download_->SetSuperStatus(DS_NONE);
    uint32_t skipped = std::min(skip_, length);
    skip_ -= skipped;
    data += skipped;
    length -= skipped;
    if (length == 0) return;
    if (state_ != LEECH_RECEIVING) {
        state_ = LEECH_RECEIVING;
        if (downloader_) downloader_->Reschedule();
        download_->SetStatus(DS_DOWNLOADING);
    }
    if (!sockets_.IsEmpty()) sockets_[0]->SetThrottled(true);
    // Only this section's bytes are written: never past its end, nor past what the response said
    // it carries, nor past the last offset a 32-bit size can hold.
    uint32_t lastByte = std::min({end_, last_, 0xFFFFFFFEu});
    if (position_ > lastByte) {
        if (lastByte == 0xFFFFFFFEu) {
            Fail(DS_FILE_TOO_BIG);
            return;
        }
        Finish();
        return;
    }
    uint32_t room = lastByte - position_ + 1;
    uint32_t n = std::min(length, room);
    if (!download_->WriteData(position_, data, n)) {
        Finish();
        return;
    }
    position_ += n;
    if (n < length && lastByte == 0xFFFFFFFEu && end_ == 0xFFFFFFFFu) {
        Fail(DS_FILE_TOO_BIG);
        return;
    }
    if (uint64_t(position_) > uint64_t(end_) || position_ > last_ || n < length) Finish();
}

bool CHTTPLeech::OnClose(ISocket* socket) {
    if (!download_ || !IsMine(socket)) return false;
    RefPtr<CHTTPLeech> self(this);
    if (stopped_) return true;
    if (headerPending_) {
        // A kept connection that the server closed before answering: the request goes again.
        if (!reader_.Started() && RetryOnNewConnection()) return true;
        Fail(DS_ABORTED);  // closed without a (whole) reply: an attempt that brought nothing
    } else if (download_->IsSingleStream() && end_ == 0xFFFFFFFFu) {
        // The body ran to the end of the connection: whole, unless the server announced more, its
        // framing (length or chunks) had not ended, or the TLS stream was cut (no close_notify: an
        // attacker or a broken link may have ended it).
        bool framedShort = framing_.end != BODY_TO_CLOSE && !bodyEnded_;
        if ((announced_ && position_ < *announced_) || truncated_ || framedShort)
            Fail(DS_ABORTED);
        else
            download_->Complete();
    } else {
        // Still running: the connection ended before the bytes this worker asked for, which the
        // server's answer promised (a worker stops by itself once its bytes are in).
        Fail(DS_ABORTED);
    }
    Finish();
    return true;
}

void CHTTPLeech::Fail(DownloadStatus status) {
    RefPtr<IDownload> download = download_;
    download->SetStatus(status);
    Finish();
}

RefPtr<ILeech> StartHttpLeech(IDownload* download, uint32_t start, uint32_t end, SLeechEnv env) {
    auto leech = RefPtr<CHTTPLeech>::Adopt(new CHTTPLeech(download, start, end, std::move(env)));
    if (!leech->Connect()) return {};
    return RefPtr<ILeech>(leech.Get());
}

RefPtr<ILeech> StartHttpLeech(IDownload* download, uint32_t start, uint32_t end) {
    return StartHttpLeech(download, start, end, DefaultLeechEnv());
}

}  // namespace plover
