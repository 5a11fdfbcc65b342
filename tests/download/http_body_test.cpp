// Where a response's body ends: the framing read from the header, and the chunked decoder fed
// whole and cut at every byte (a connection's blocks may split anything anywhere).
#include <gtest/gtest.h>

#include "download/http_body.h"

namespace plover {
namespace {

SHttpResponse Header(const std::string& text) {
    CHttpHeaderReader reader;
    size_t body = 0;
    std::string all = text + "\r\n\r\n";
    EXPECT_EQ(reader.Feed(reinterpret_cast<const uint8_t*>(all.data()), all.size(), &body),
              CHttpHeaderReader::HEADER_DONE);
    return reader.Response();
}

TEST(HttpBody, FramingFromTheHeader) {
    struct Case {
        const char* header;
        EBodyEnd end;
        uint64_t length;
        bool keepAlive;
    } cases[] = {
        {"HTTP/1.1 200 OK\r\nContent-Length: 12", BODY_LENGTH, 12, true},
        {"HTTP/1.1 206 Partial\r\nContent-Length: 5\r\nConnection: close", BODY_LENGTH, 5, false},
        {"HTTP/1.1 200 OK\r\nConnection: Keep-Alive, CLOSE\r\nContent-Length: 5", BODY_LENGTH, 5, false},
        {"HTTP/1.0 200 OK\r\nContent-Length: 5", BODY_LENGTH, 5, false},
        {"HTTP/1.0 200 OK\r\nConnection: keep-alive\r\nContent-Length: 5", BODY_LENGTH, 5, true},
        {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked", BODY_CHUNKED, 0, true},
        // The chunked framing wins over a length (a length beside it is not to be trusted).
        {"HTTP/1.1 200 OK\r\nContent-Length: 99\r\nTransfer-Encoding: gzip, Chunked ", BODY_CHUNKED, 0, true},
        {"HTTP/1.1 200 OK\r\nTransfer-Encoding: gzip", BODY_TO_CLOSE, 0, false},
        {"HTTP/1.1 200 OK", BODY_TO_CLOSE, 0, false},
        {"HTTP/1.1 200 OK\r\nContent-Length: 5x", BODY_TO_CLOSE, 0, false},
        {"HTTP/1.1 200 OK\r\nContent-Length: 99999999999", BODY_TO_CLOSE, 0, false},
        {"HTTP/1.1 304 Not Modified\r\nContent-Length: 80", BODY_NONE, 0, true},
        {"HTTP/1.1 204 No Content", BODY_NONE, 0, true},
        {"HTTP/1.1 404 Not Found\r\nContent-Length: 0", BODY_LENGTH, 0, true},
    };
    for (const Case& c : cases) {
        SBodyFraming f = BodyFramingOf(Header(c.header));
        EXPECT_EQ(f.end, c.end) << c.header;
        EXPECT_EQ(f.length, c.length) << c.header;
        EXPECT_EQ(f.keepAlive, c.keepAlive) << c.header;
    }
}

struct SDecoded {
    std::string body;
    CChunkedDecoder::EResult result = CChunkedDecoder::CHUNKS_MORE;
    size_t end = 0;  // where the chunked body ended in the input (done or error)
};

// Feeds the input in two blocks cut at `cut`.
SDecoded Decode(const std::string& input, size_t cut) {
    CChunkedDecoder decoder;
    SDecoded out;
    size_t at = 0;
    for (size_t n : {cut, input.size() - cut}) {
        std::vector<CChunkedDecoder::SSpan> spans;
        size_t used = 0;
        const auto* data = reinterpret_cast<const uint8_t*>(input.data()) + at;
        out.result = decoder.Feed(data, n, spans, &used);
        for (const auto& s : spans) out.body.append(reinterpret_cast<const char*>(data + s.offset), s.length);
        if (out.result != CChunkedDecoder::CHUNKS_MORE) {
            out.end = at + used;
            return out;
        }
        at += n;
    }
    return out;
}

TEST(HttpBody, ChunkedBodiesCutAtEveryByte) {
    using R = CChunkedDecoder;
    struct Case {
        const char* name;
        std::string input;
        R::EResult result;
        std::string body;
        size_t end;  // npos: the whole input
    } cases[] = {
        {"two chunks", "5\r\nHello\r\n7\r\n, world\r\n0\r\n\r\n", R::CHUNKS_DONE, "Hello, world", std::string::npos},
        {"hex sizes, extension", "A;name=\"x\"\r\n0123456789\r\n1a \r\nabcdefghijklmnopqrstuvwxyz\r\n0\r\n\r\n",
         R::CHUNKS_DONE, "0123456789abcdefghijklmnopqrstuvwxyz", std::string::npos},
        {"bare line feeds", "3\nabc\n0\n\n", R::CHUNKS_DONE, "abc", std::string::npos},
        {"trailer", "2\r\nok\r\n0\r\nExpires: never\r\nX: y\r\n\r\n", R::CHUNKS_DONE, "ok", std::string::npos},
        {"empty body", "0\r\n\r\n", R::CHUNKS_DONE, "", std::string::npos},
        // What follows the end is not body: the caller sees where the body ended.
        {"surplus after the end", "2\r\nok\r\n0\r\n\r\nHTTP/1.1 200 OK", R::CHUNKS_DONE, "ok", 12},
        {"not yet ended", "4\r\nabcd\r\n", R::CHUNKS_MORE, "abcd", 0},
        {"last chunk without its empty line", "1\r\nx\r\n0\r\n", R::CHUNKS_MORE, "x", 0},
        {"no digits", "\r\nabc", R::CHUNKS_ERROR, "", 0},
        {"not a size", "zz\r\n", R::CHUNKS_ERROR, "", 0},
        {"size followed by junk", "1x\r\na\r\n0\r\n\r\n", R::CHUNKS_ERROR, "", 1},
        {"data longer than its size", "2\r\nabc\r\n0\r\n\r\n", R::CHUNKS_ERROR, "ab", 5},
        {"size beyond 63 bits", "10000000000000000\r\n", R::CHUNKS_ERROR, "", 16},
        {"CR without LF", "1\r\rx", R::CHUNKS_ERROR, "", 2},
    };
    for (const Case& c : cases) {
        for (size_t cut = 0; cut <= c.input.size(); ++cut) {
            SDecoded d = Decode(c.input, cut);
            ASSERT_EQ(d.result, c.result) << c.name << " cut at " << cut;
            EXPECT_EQ(d.body, c.body) << c.name << " cut at " << cut;
            if (c.result != R::CHUNKS_MORE) {
                EXPECT_EQ(d.end, c.end == std::string::npos ? c.input.size() : c.end) << c.name << " cut at " << cut;
            }
        }
    }
}

TEST(HttpBody, OverlongSizeLineOrTrailerIsAnError) {
    CChunkedDecoder line;
    std::vector<CChunkedDecoder::SSpan> spans;
    size_t used = 0;
    std::string longLine = "1;" + std::string(CChunkedDecoder::kMaxLine, 'e');
    EXPECT_EQ(line.Feed(reinterpret_cast<const uint8_t*>(longLine.data()), longLine.size(), spans, &used),
              CChunkedDecoder::CHUNKS_ERROR);
    CChunkedDecoder trailer;
    std::string longTrailer = "0\r\n" + std::string(CChunkedDecoder::kMaxTrailer + 1, 't');
    EXPECT_EQ(trailer.Feed(reinterpret_cast<const uint8_t*>(longTrailer.data()), longTrailer.size(), spans, &used),
              CChunkedDecoder::CHUNKS_ERROR);
    // After the verdict the decoder keeps it and takes nothing more.
    EXPECT_EQ(trailer.Feed(reinterpret_cast<const uint8_t*>("0\r\n\r\n"), 5, spans, &used), CChunkedDecoder::CHUNKS_ERROR);
    EXPECT_EQ(used, 0u);
}

}  // namespace
}  // namespace plover
