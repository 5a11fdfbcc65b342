#pragma once
// Reading an HTTP response header from the blocks a connection delivers. A server or a proxy may
// split its header over several blocks at any byte, so CHttpHeaderReader collects the header until
// its end (the first empty line) and only then parses it; the bytes after the header in the block
// that completed it are the start of the body. Header bytes are never body.
//
// Line rules: CR is ignored, LF ends a line. A zero byte has no place in a header: a response with
// one before the header's end is malformed (its rest would otherwise be taken as the file). The status
// code is the decimal number after the first eight characters of the first line ("HTTP/1.1 206")
// and 0 when that line is shorter. A header value is found by comparing the start of each line with
// the name, ignoring case, then skipping to the colon and the blanks after it.
//
// The value readers below take outside input and never trust it: sizes are 32-bit, so a length or
// range that does not fit (or is not a plain number) is reported as such instead of wrapping.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace plover {

struct SHttpResponse {
    uint32_t status = 0;
    std::string text;                // the header as received (for the protocol log), without the empty line
    std::vector<std::string> lines;  // its lines, CRs removed
    // The value of the first line named `name` (ignoring case), trailing blanks removed.
    std::optional<std::string> Find(std::string_view name) const;
};

class CHttpHeaderReader {
public:
    enum EResult {
        HEADER_INCOMPLETE,  // not yet: feed the next block
        HEADER_DONE,        // Response() is ready; the body starts at *bodyOffset of this block
        HEADER_NOT_HTTP,    // the reply does not begin with "HTTP"
        HEADER_TOO_LONG,    // no end within kMaxHeader bytes
        HEADER_MALFORMED,   // a zero byte inside the header
    };
    static constexpr size_t kMaxHeader = 65536;

    // Feeds the next block. After HEADER_DONE (or an error) further calls return the same result.
    EResult Feed(const uint8_t* data, size_t length, size_t* bodyOffset);
    const SHttpResponse& Response() const { return response_; }
    bool Started() const { return !collected_.empty(); }

private:
    void Parse();

    std::string collected_;
    SHttpResponse response_;
    EResult state_ = HEADER_INCOMPLETE;
};

// "Content-Length": the size, or nullopt when it is not a plain decimal number below 0xFFFFFFFF
// (a 32-bit size cannot hold it; 0xFFFFFFFF itself means "unknown").
std::optional<uint32_t> ParseContentLength(std::string_view value);

// "Content-Range: bytes FIRST-LAST/TOTAL" (TOTAL may be "*": 0xFFFFFFFF). nullopt when malformed,
// when LAST < FIRST, or when a number does not fit in 32 bits below 0xFFFFFFFF.
struct SContentRange {
    uint32_t first = 0;
    uint32_t last = 0;
    uint32_t total = 0xFFFFFFFFu;
};
std::optional<SContentRange> ParseContentRange(std::string_view value);

// The file name a "Content-Disposition" value offers: the value lower-cased, the text after
// "filename=" up to ";" or the end, double quotes removed. The name never leaves the target folder:
// only what follows the last "/" or "\" is kept, control characters are dropped, blanks trimmed,
// and "." or ".." give no name. Empty when there is none.
std::string ServerFileNameFromDisposition(std::string_view value);

// "Content-Type" says HTML.
bool IsHtmlContentType(std::string_view value);

}  // namespace plover
