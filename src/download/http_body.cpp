#include "download/http_body.h"

#include <strings.h>

#include <algorithm>
#include <string_view>

namespace plover {
namespace {

char Lower(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

// Whether the comma-separated list holds the token (ignoring case and blanks).
bool HasToken(std::string_view list, std::string_view token) {
    while (!list.empty()) {
        size_t comma = list.find(',');
        std::string_view item = list.substr(0, comma);
        while (!item.empty() && (item.front() == ' ' || item.front() == '\t')) item.remove_prefix(1);
        while (!item.empty() && (item.back() == ' ' || item.back() == '\t')) item.remove_suffix(1);
        if (item.size() == token.size() && strncasecmp(item.data(), token.data(), token.size()) == 0) return true;
        if (comma == std::string_view::npos) break;
        list.remove_prefix(comma + 1);
    }
    return false;
}

// The last coding of a "Transfer-Encoding" list, lower-cased.
std::string LastCoding(std::string_view list) {
    size_t comma = list.rfind(',');
    std::string_view last = comma == std::string_view::npos ? list : list.substr(comma + 1);
    std::string out;
    for (char c : last)
        if (c != ' ' && c != '\t') out += Lower(c);
    return out;
}

int HexValue(uint8_t c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

SBodyFraming BodyFramingOf(const SHttpResponse& response) {
    SBodyFraming f;
    const std::string& first = response.lines.empty() ? std::string() : response.lines.front();
    bool http11 = first.size() >= 8 && strncasecmp(first.data(), "HTTP/1.1", 8) == 0;
    std::string connection = response.Find("Connection").value_or("");
    f.keepAlive = http11 ? !HasToken(connection, "close") : HasToken(connection, "keep-alive");
    uint32_t status = response.status;
    if ((status >= 100 && status < 200) || status == 204 || status == 304) {
        f.end = BODY_NONE;
        return f;
    }
    if (auto coding = response.Find("Transfer-Encoding")) {
        if (LastCoding(*coding) == "chunked") {
            f.end = BODY_CHUNKED;
            return f;
        }
        f.end = BODY_TO_CLOSE;
        f.keepAlive = false;
        return f;
    }
    if (auto text = response.Find("Content-Length")) {
        if (auto n = ParseContentLength(*text)) {
            f.end = BODY_LENGTH;
            f.length = *n;
            return f;
        }
    }
    f.end = BODY_TO_CLOSE;
    f.keepAlive = false;
    return f;
}

CChunkedDecoder::EResult CChunkedDecoder::Feed(const uint8_t* data, size_t length, std::vector<SSpan>& spans,
                                               size_t* used) {
    *used = 0;
    if (state_ == DONE) return CHUNKS_DONE;
    if (state_ == FAILED) return CHUNKS_ERROR;
    size_t i = 0;
    auto fail = [&] {
        state_ = FAILED;
        *used = i;
        return CHUNKS_ERROR;
    };
    while (i < length) {
        uint8_t c = data[i];
        switch (state_) {
            case SIZE: {
                int v = HexValue(c);
                if (v >= 0) {
                    if (size_ >> 59) return fail();  // one more digit would pass 63 bits
                    size_ = size_ << 4 | uint64_t(v);
                    ++digits_;
                    ++i;
                    break;
                }
                if (digits_ == 0) return fail();
                state_ = SIZE_TAIL;
                lineLength_ = digits_;
                break;  // the same byte again, as the line's tail
            }
            case SIZE_TAIL:
                if (++lineLength_ > kMaxLine) return fail();
                if (c == '\r') {
                    state_ = SIZE_LF;
                } else if (c == '\n') {
                    state_ = size_ == 0 ? TRAILER : DATA;
                    remaining_ = size_;
                } else if (c != ' ' && c != '\t' && c != ';' && lineLength_ == digits_ + 1) {
                    return fail();  // "1x": not a size followed by blanks or an extension
                }
                ++i;
                break;
            case SIZE_LF:
                if (c != '\n') return fail();
                ++i;
                state_ = size_ == 0 ? TRAILER : DATA;
                remaining_ = size_;
                break;
            case DATA: {
                size_t n = size_t(std::min<uint64_t>(remaining_, length - i));
                spans.push_back({i, n});
                i += n;
                remaining_ -= n;
                if (remaining_ == 0) state_ = DATA_END;
                break;
            }
            case DATA_END:
                if (c == '\r') {
                    state_ = DATA_LF;
                } else if (c != '\n') {
                    return fail();
                } else {
                    state_ = SIZE;
                    size_ = 0;
                    digits_ = 0;
                }
                ++i;
                break;
            case DATA_LF:
                if (c != '\n') return fail();
                ++i;
                state_ = SIZE;
                size_ = 0;
                digits_ = 0;
                break;
            case TRAILER:
                ++i;
                if (c == '\n') {
                    state_ = DONE;
                    *used = i;
                    return CHUNKS_DONE;
                }
                state_ = c == '\r' ? TRAILER_LF : TRAILER_LINE;
                if (++trailerLength_ > kMaxTrailer) return fail();
                break;
            case TRAILER_LF:
                if (c != '\n') return fail();
                ++i;
                state_ = DONE;
                *used = i;
                return CHUNKS_DONE;
            case TRAILER_LINE:
                ++i;
                if (++trailerLength_ > kMaxTrailer) return fail();
                if (c == '\n') state_ = TRAILER;
                break;
            case DONE:
            case FAILED:
                break;
        }
    }
    *used = i;
    return CHUNKS_MORE;
}

}  // namespace plover
