#include "download/ftp_reply.h"


namespace plover {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The code of a reply line ("ddd" then a blank, "-" or the end), and whether it opens a
// multi-line reply; 0 when the line is not a reply line.
int LineCode(const std::string& line, bool* opens) {
    *opens = false;
    if (line.size() < 3 || !IsDigit(line[0]) || !IsDigit(line[1]) || !IsDigit(line[2])) return 0;
    if (line.size() > 3 && line[3] != ' ' && line[3] != '-') return 0;
    int code = (line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0');
    if (code < 100) return 0;
    *opens = line.size() > 3 && line[3] == '-';
    return code;
}

}  // namespace

std::vector<SFtpReply> CFtpReplyReader::Feed(const uint8_t* data, size_t length) {
    std::vector<SFtpReply> out;
    for (size_t i = 0; i < length; ++i) {
        char c = char(data[i]);
        if (c == '\r' || c == '\n' || c == '\0') {
            EndLine(out);
        } else if (line_.size() < kMaxLine) {
            line_ += c;
        } else {
            lineTooLong_ = true;
        }
    }
    return out;
}

void CFtpReplyReader::EndLine(std::vector<SFtpReply>& out) {
    if (line_.empty() && !lineTooLong_) return;  // the LF of a CR LF, or an empty line
    std::string line;
    line.swap(line_);
    lineTooLong_ = false;
    bool opens = false;
    int code = LineCode(line, &opens);
    if (open_ != 0) {
        if (openLines_ < kMaxReplyLines) {
            openText_ += line + "\r\n";
            ++openLines_;
        }
        if (code == open_ && !opens) {
            out.push_back({open_, std::move(openText_)});
            open_ = 0;
            openText_.clear();
            openLines_ = 0;
        }
        return;
    }
    if (code == 0) return;  // not a reply line
    if (opens) {
        open_ = code;
        openText_ = line + "\r\n";
        openLines_ = 1;
        return;
    }
    out.push_back({code, line + "\r\n"});
}

std::optional<SFtpDataAddress> ParsePasvReply(const std::string& text) {
    // The last run of digits, commas and dots that holds a digit (a full stop after the closing
    // parenthesis is not the run).
    auto inRun = [](char c) { return IsDigit(c) || c == ',' || c == '.'; };
    size_t end = text.size();
    while (end > 0 && !IsDigit(text[end - 1])) --end;
    if (end == 0) return std::nullopt;
    while (end < text.size() && inRun(text[end])) ++end;
    size_t start = end;
    while (start > 0 && inRun(text[start - 1])) --start;
    // Six numbers separated by commas, at the start of the run.
    unsigned n[6] = {};
    size_t at = start;
    for (int i = 0; i < 6; ++i) {
        if (i > 0) {
            if (at >= end || text[at] != ',') return std::nullopt;
            ++at;
        }
        size_t digits = 0;
        for (; at < end && IsDigit(text[at]); ++at, ++digits)
            if (n[i] <= 255) n[i] = n[i] * 10 + unsigned(text[at] - '0');
        if (digits == 0 || n[i] > 255) return std::nullopt;
    }
    SFtpDataAddress a;
    for (int i = 0; i < 4; ++i) a.host[i] = uint8_t(n[i]);
    a.port = uint16_t(n[4] * 256 + n[5]);
    return a;
}

std::optional<uint64_t> ParseTransferSize(const std::string& text) {
    for (size_t i = text.size(); i-- > 1;) {
        if (text[i - 1] != '(' || !IsDigit(text[i])) continue;
        uint64_t size = 0;
        for (size_t j = i; j < text.size() && IsDigit(text[j]); ++j) {
            unsigned digit = unsigned(text[j] - '0');
            if (size > (UINT64_MAX - digit) / 10) return UINT64_MAX;
            size = size * 10 + digit;
        }
        return size;
    }
    return std::nullopt;
}

std::string FormatPortCommand(const std::string& addressText, uint16_t port) {
    return "PORT " + addressText + "," + std::to_string(port >> 8) + "," + std::to_string(port & 0xFF);
}

uint32_t CommandTag(const std::string& command) {
    uint32_t tag = 0;
    for (size_t i = 0; i < 4; ++i) tag = tag << 8 | uint8_t(i < command.size() ? command[i] : ' ');
    return tag;
}

std::string LoggedCommand(const std::string& command) {
    if (command.size() >= 4 && CommandTag(command) == CommandTag("PASS")) return "PASS ****";
    return command;
}

}  // namespace plover
