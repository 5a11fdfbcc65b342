#pragma once
// Where a response's body ends, and the decoding of a chunked body. A kept connection may carry
// the next request only when the body ended by its own framing (its length, or its last chunk)
// and nothing came after it; a body that runs to the end of the connection ends the connection.
//
// CChunkedDecoder is incremental: the blocks of a connection may split a chunk's size line, its
// data, its CR LF or the trailer at any byte. For each block it tells which parts are body (spans
// of the block, so nothing is copied), whether the body has ended, and how many bytes of the block
// it used; bytes after the end are surplus. Anything else than the chunked syntax is an error (the
// body cannot be trusted, and neither can the connection): a size line without hexadecimal digits,
// a size that does not fit in 63 bits, data not followed by its line end, a size line or trailer
// longer than the limits. A lone LF is taken for CR LF, as servers send both.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "download/http_response.h"

namespace plover {

enum EBodyEnd : uint32_t {
    BODY_NONE,      // no body at all (204, 304, 1xx)
    BODY_LENGTH,    // "Content-Length" bytes
    BODY_CHUNKED,   // chunks up to the last (size 0) chunk and its trailer
    BODY_TO_CLOSE,  // everything up to the end of the connection
};

struct SBodyFraming {
    EBodyEnd end = BODY_TO_CLOSE;
    uint64_t length = 0;     // BODY_LENGTH: the body's size
    bool keepAlive = false;  // the server keeps the connection after this response
};

// From a response header: HTTP/1.1 keeps the connection unless "Connection: close", HTTP/1.0 only
// with "Connection: keep-alive"; "Transfer-Encoding" ending in "chunked" is chunked, any other
// coding runs to the close; then a valid "Content-Length"; otherwise to the close. A body that
// runs to the close, or an unreadable length, never leaves the connection kept.
SBodyFraming BodyFramingOf(const SHttpResponse& response);

class CChunkedDecoder {
public:
    enum EResult {
        CHUNKS_MORE,   // the body goes on in the next block
        CHUNKS_DONE,   // the last chunk and the trailer are in; *used tells where they ended
        CHUNKS_ERROR,  // not chunked syntax: nothing after this is body
    };
    struct SSpan {
        size_t offset;
        size_t length;
    };
    static constexpr size_t kMaxLine = 4096;      // a size line with its extensions
    static constexpr size_t kMaxTrailer = 65536;  // all trailer lines together

    // Decodes the next block: the body bytes in it are appended to spans (offsets into data), and
    // *used is the number of bytes of the block that belong to the chunked body. After DONE or
    // ERROR every further call returns the same with *used 0.
    EResult Feed(const uint8_t* data, size_t length, std::vector<SSpan>& spans, size_t* used);

private:
    enum EState {
        SIZE,          // hexadecimal digits of a chunk's size
        SIZE_TAIL,     // blanks or an extension after the digits, up to the line end
        SIZE_LF,       // CR seen, LF due
        DATA,          // the chunk's bytes
        DATA_END,      // CR LF (or LF) after the data
        DATA_LF,
        TRAILER,       // start of a trailer line (an empty one ends the body)
        TRAILER_LINE,  // inside a trailer line
        TRAILER_LF,    // CR at the start of a line seen: LF ends the body
        DONE,
        FAILED,
    };
    EState state_ = SIZE;
    uint64_t size_ = 0;       // of the chunk being read
    uint64_t remaining_ = 0;  // of its data
    size_t digits_ = 0;
    size_t lineLength_ = 0;
    size_t trailerLength_ = 0;
};

}  // namespace plover
