// The text rules of the FTP conversation as tables: reply lines, the 227 address, the 150 size,
// the PORT command, command tags and the logged form of a command.
#include <gtest/gtest.h>

#include "download/ftp_reply.h"

namespace plover {
namespace {

std::vector<int> Codes(CFtpReplyReader& reader, const std::string& text) {
    std::vector<int> codes;
    for (const SFtpReply& r : reader.Feed(reinterpret_cast<const uint8_t*>(text.data()), text.size()))
        codes.push_back(r.code);
    return codes;
}

TEST(FtpReplyTest, Lines) {
    struct Case {
        std::string text;
        std::vector<int> codes;
    };
    const Case cases[] = {
        {"220 ready\r\n", {220}},
        {"331 pw\n230 in\r\n", {331, 230}},
        {"220\r\n", {220}},
        {"230-Welcome\r\n 230 indented is text\r\n550 inside is text\r\n230 done\r\n", {230}},
        {"220-a\r\n220-b\r\n220 c\r\n150 (5 bytes)\r\n", {220, 150}},
        {"hello\r\n2024 news\r\n12 x\r\n099 low\r\n", {}},
        {std::string("350 ok\0" "200 ok\r\n", 15), {350, 200}},
        {"226 no line end yet", {}},
    };
    for (const Case& c : cases) {
        CFtpReplyReader reader;
        EXPECT_EQ(Codes(reader, c.text), c.codes) << c.text;
    }
}

// The same replies however the text is cut into reads.
TEST(FtpReplyTest, SplitAnywhere) {
    const std::string text = "220-Hi\r\n220 there\r\n331 Please specify the password.\r\n230 Login successful.\r\n";
    for (size_t cut = 0; cut <= text.size(); ++cut) {
        CFtpReplyReader reader;
        std::vector<int> codes = Codes(reader, text.substr(0, cut));
        for (int code : Codes(reader, text.substr(cut))) codes.push_back(code);
        EXPECT_EQ(codes, (std::vector<int>{220, 331, 230})) << cut;
    }
    CFtpReplyReader reader;
    auto replies = reader.Feed(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    ASSERT_EQ(replies.size(), 3u);
    EXPECT_EQ(replies[0].text, "220-Hi\r\n220 there\r\n");
}

TEST(FtpReplyTest, EndlessLineIsBounded) {
    CFtpReplyReader reader;
    std::string junk(100000, 'x');
    EXPECT_TRUE(Codes(reader, "150 " + junk).empty());
    auto replies = reader.Feed(reinterpret_cast<const uint8_t*>("\r\n"), 2);
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0].code, 150);
    EXPECT_LE(replies[0].text.size(), CFtpReplyReader::kMaxLine + 2);
}

TEST(FtpReplyTest, PassiveAddress) {
    struct Case {
        const char* text;
        const char* address;  // "" when refused
        uint16_t port;
    };
    const Case cases[] = {
        {"227 Entering Passive Mode (10,0,0,5,19,137).", "10.0.0.5", 5001},
        {"227 Entering Passive Mode (127,0,0,1,200,10)", "127.0.0.1", 51210},
        {"227 =192,168,1,2,0,21", "192.168.1.2", 21},
        {"227 Entering Passive Mode 1,2,3,4,5,6 (v2.1)", "", 0},  // the last run has no six numbers
        {"227 Entering Passive Mode (127,0,0,1,200).", "", 0},
        {"227 Entering Passive Mode (127,0,0,256,1,1).", "", 0},
        {"227 Entering Passive Mode (1,2,3,4,5,99999999999999999999).", "", 0},
        {"227 nothing", "", 0},
    };
    for (const Case& c : cases) {
        auto a = ParsePasvReply(c.text);
        if (!*c.address) {
            EXPECT_FALSE(a) << c.text;
            continue;
        }
        ASSERT_TRUE(a) << c.text;
        char text[32];
        std::snprintf(text, sizeof text, "%u.%u.%u.%u", a->host[0], a->host[1], a->host[2], a->host[3]);
        EXPECT_STREQ(text, c.address);
        EXPECT_EQ(a->port, c.port) << c.text;
    }
}

TEST(FtpReplyTest, TransferSize) {
    struct Case {
        const char* text;
        std::optional<uint64_t> size;
    };
    const Case cases[] = {
        {"150 Opening BINARY mode data connection for a.bin (1234 bytes).", 1234},
        {"150 Opening data connection for (weird) name (0 bytes)", 0},
        {"150 (12) then (345 bytes)", 345},
        {"150 Opening BINARY mode data connection for a.bin.", std::nullopt},
        {"150 (x bytes)", std::nullopt},
        {"150 (99999999999999999999999 bytes)", UINT64_MAX},
    };
    for (const Case& c : cases) EXPECT_EQ(ParseTransferSize(c.text), c.size) << c.text;
}

TEST(FtpReplyTest, CommandForms) {
    EXPECT_EQ(FormatPortCommand("127,0,0,1", 5001), "PORT 127,0,0,1,19,137");
    EXPECT_EQ(CommandTag("USER anonymous"), 0x55534552u);
    EXPECT_EQ(CommandTag(std::string("RETR x")), CommandTag("RETR"));
    EXPECT_EQ(CommandTag(std::string("NO")), 0x4E4F2020u);
    EXPECT_EQ(LoggedCommand("PASS secret"), "PASS ****");
    EXPECT_EQ(LoggedCommand("USER u"), "USER u");
}

}  // namespace
}  // namespace plover
