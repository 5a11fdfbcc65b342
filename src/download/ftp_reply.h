#pragma once
// The text rules of the FTP conversation, kept apart from the worker so that they can be tested
// as tables and fuzzed: splitting what the server sends into replies, reading the data address of
// a 227 reply and the size of a 150 reply, writing the PORT command, and the forms of a command
// that the worker stores (its four-letter tag) and logs (passwords masked).
//
// Replies. The server's text is cut into lines at CR, LF or a zero byte; a line that has not
// ended yet is kept for the next block, so a reply split between two reads is still one reply.
// A reply line begins with three digits followed by a blank (or nothing): that is a reply with
// that number. Three digits followed by "-" open a multi-line reply, which ends with the line
// that begins with the same three digits and a blank; it counts once, at that last line, and the
// lines between are its text (so a greeting line inside it that happens to begin with digits is
// not taken for a reply). Other lines are skipped.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace plover {

struct SFtpReply {
    int code = 0;      // 100..599
    std::string text;  // every line of the reply, each ended by "\r\n"
};

class CFtpReplyReader {
public:
    // Longest line kept while waiting for its end; the rest of a longer line is dropped.
    static constexpr size_t kMaxLine = 8192;
    // Lines of one multi-line reply kept as its text; later ones are dropped.
    static constexpr size_t kMaxReplyLines = 200;

    // The replies completed by this block, in order.
    std::vector<SFtpReply> Feed(const uint8_t* data, size_t length);

private:
    void EndLine(std::vector<SFtpReply>& out);

    std::string line_;          // the line being read
    bool lineTooLong_ = false;  // line_ was cut at kMaxLine
    int open_ = 0;              // the code of the multi-line reply being read; 0 for none
    std::string openText_;
    size_t openLines_ = 0;
};

// The data address of a 227 reply: the last run of digits, commas and dots in the text, read as
// six numbers h1,h2,h3,h4,p1,p2 (each 0..255). Nothing when there are fewer than six (or a number
// is out of range).
struct SFtpDataAddress {
    uint8_t host[4] = {};
    uint16_t port = 0;  // p1 * 256 + p2
};
std::optional<SFtpDataAddress> ParsePasvReply(const std::string& text);

// The size announced by a 150 reply: the text is searched backwards for "(" followed by a digit,
// and the decimal number there is the size ("150 Opening BINARY mode data connection for a.bin
// (1234 bytes)."). Nothing when there is no such number; a number too large for 64 bits reads as
// UINT64_MAX.
std::optional<uint64_t> ParseTransferSize(const std::string& text);

// "PORT h1,h2,h3,h4,p1,p2" from the local address text "h1,h2,h3,h4" and a port (host order).
std::string FormatPortCommand(const std::string& addressText, uint16_t port);

// The first four characters of a command as a big-endian number ("USER" = 0x55534552), padded
// with blanks when shorter.
uint32_t CommandTag(const std::string& command);
constexpr uint32_t CommandTag(const char (&text)[5]) {
    return uint32_t(uint8_t(text[0])) << 24 | uint32_t(uint8_t(text[1])) << 16 | uint32_t(uint8_t(text[2])) << 8 |
           uint32_t(uint8_t(text[3]));
}

// The command as the protocol log shows it: a password is never written ("PASS ****").
std::string LoggedCommand(const std::string& command);

}  // namespace plover
