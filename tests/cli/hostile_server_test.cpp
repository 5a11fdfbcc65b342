// plover get against servers that misbehave: a scripted server of the test's own answers what no
// real server would, and counts the requests, so that each case shows the download ends with the
// right word after a handful of requests instead of asking again at once, for ever.
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>

#include "run_plover.h"
#include "testutil/scripted_http_server.h"
#include "testutil/servers.h"
#include "testutil/temp_dir.h"

namespace plover::test {
namespace {

constexpr int kGenerousMs = 120000;  // a run that has not ended by then hangs

const std::string kBody = PatternBytes(64 * 1024, 7);  // above the smallest section: no tiny-file path

std::string Ok(const std::string& extraHeaders = "") {
    return "HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(kBody.size()) + "\r\n" + extraHeaders + "\r\n" + kBody;
}

// "Range: bytes=A-B" of a request, or nothing.
bool RangeOf(const std::string& request, size_t* first, size_t* last) {
    size_t at = request.find("Range: bytes=");
    if (at == std::string::npos) return false;
    return std::sscanf(request.c_str() + at, "Range: bytes=%zu-%zu", first, last) == 2;
}

struct HostileCase {
    const char* name;
    std::string path;  // asked of the server
    std::function<std::string(const ScriptedHttpServer&, const std::string& request, int index)> reply;
    int exitCode;
    std::string said;      // the failure plover reports ("" when the download finishes)
    int minRequests, maxRequests;
    std::string savedAs;   // the file a finished download leaves; "-": nothing may be saved
};

std::vector<HostileCase> Cases() {
    const std::string longName(300, 'n');
    return {
        {"closed_without_reply", "/x.bin", [](auto&, auto&, int) { return std::string(); }, 1, "Aborted", 1, 3, ""},
        {"body_shorter_than_its_length", "/x.bin",
         [](auto&, auto&, int) {  // ignores Range and stops after 1000 of the bytes it announced
             return "HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(kBody.size()) + "\r\n\r\n" +
                    kBody.substr(0, 1000);
         },
         1, "Aborted", 1, 5, ""},  // the probe's own answer already carries the first section
        {"ranged_body_shorter_than_its_length", "/x.bin",
         [](auto&, const std::string& request, int) {
             size_t first = 0, last = 0;
             if (!RangeOf(request, &first, &last)) return Ok();
             return "HTTP/1.1 206 Partial Content\r\nContent-Range: bytes " + std::to_string(first) + "-" +
                    std::to_string(last) + "/" + std::to_string(kBody.size()) +
                    "\r\nContent-Length: " + std::to_string(last - first + 1) + "\r\n\r\n" + kBody.substr(first, 10);
         },
         1, "Aborted", 2, 6, ""},
        {"redirect_without_location", "/x.bin", [](auto&, auto&, int) { return std::string("HTTP/1.0 302 Found\r\n\r\n"); },
         1, "Failed", 1, 1, "-"},
        {"redirect_with_blank_location", "/x.bin",
         [](auto&, auto&, int) { return std::string("HTTP/1.0 301 Moved\r\nLocation:   \r\n\r\n"); }, 1, "Failed", 1, 1,
         "-"},
        {"javascript_location", "/x.bin",
         [](auto&, auto&, int) { return std::string("HTTP/1.0 302 Found\r\nLocation: javascript:alert(1)\r\n\r\n"); },
         1, "Failed", 1, 1, "-"},
        {"data_location", "/x.bin",
         [](auto&, auto&, int) { return std::string("HTTP/1.0 302 Found\r\nLocation: data:text/plain,hello\r\n\r\n"); },
         1, "Failed", 1, 1, "-"},
        {"network_path_location_keeps_the_scheme", "/x.bin",
         [](const ScriptedHttpServer& s, const std::string& request, int) {
             if (request.rfind("GET /x.bin ", 0) == 0)
                 return "HTTP/1.0 302 Found\r\nLocation: //127.0.0.1:" + std::to_string(s.Port()) + "/real.bin\r\n\r\n";
             return Ok();
         },
         0, "", 2, 6, "x.bin"},
        {"endless_chain_of_redirects", "/r/0",
         [](auto&, auto&, int index) {
             return "HTTP/1.0 302 Found\r\nLocation: /r/" + std::to_string(index + 1) + "\r\n\r\n";
         },
         1, "Too many redirects", 21, 21, "-"},
        {"zero_byte_inside_the_header", "/x.bin",
         [](auto&, auto&, int) {
             return std::string("HTTP/1.0 200 OK\r\nX-A: b\0\r\nContent-Length: 5\r\n\r\nhello", 52);
         },
         1, "Failed", 1, 1, "-"},
        {"name_longer_than_the_file_system_takes", "/dl/",
         [longName](auto&, auto&, int) {
             return Ok("Content-Disposition: attachment; filename=\"" + longName + ".jpg\"\r\n");
         },
         0, "", 2, 6, std::string(251, 'n') + ".jpg"},
    };
}

TEST(HostileServers, EndAfterAFewRequestsWithTheRightWord) {
    for (const HostileCase& c : Cases()) {
        SCOPED_TRACE(c.name);
        TempDir home, folder, io;
        ScriptedHttpServer server([&](const std::string& request, int index) { return c.reply(server, request, index); });
        CBackgroundPlover run(home.Str(), {"get", "--folder", folder.Str(), server.Url(c.path)}, io.Str());
        SRunResult r = run.Wait(kGenerousMs);
        ASSERT_NE(r.exitCode, -1) << "still running after " << server.Requests() << " requests\n" << r.out << r.err;
        EXPECT_EQ(r.exitCode, c.exitCode) << r.out << r.err;
        EXPECT_GE(server.Requests(), c.minRequests) << r.out;
        EXPECT_LE(server.Requests(), c.maxRequests) << r.out;
        if (!c.said.empty()) {
            EXPECT_NE(r.out.find(": " + c.said + " ("), std::string::npos) << r.out << r.err;
        }
        if (c.savedAs == "-") {
            for (auto& entry : std::filesystem::directory_iterator(folder.Path()))
                ADD_FAILURE() << "a file was saved: " << entry.path() << " of " << entry.file_size() << " bytes";
        } else if (!c.savedAs.empty()) {
            EXPECT_TRUE(ReadFile(folder / c.savedAs) == kBody) << c.savedAs << " differs from the served file";
        }
        // Every request names the server with its port: servers build addresses from it.
        EXPECT_EQ(server.Header(0, "Host"), "127.0.0.1:" + std::to_string(server.Port()));
    }
}

TEST(HostileServers, AConnectionThatFailsAtOnceEndsInCantConnect) {
    // No route to a broadcast address: the connect fails before any packet leaves.
    TempDir home, folder, io;
    CBackgroundPlover run(home.Str(), {"get", "--folder", folder.Str(), "http://255.255.255.255/x.bin"}, io.Str());
    SRunResult r = run.Wait(kGenerousMs);
    ASSERT_NE(r.exitCode, -1) << "still \"Connecting\"\n" << r.out << r.err;
    EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
    EXPECT_NE(r.out.find(": Can't connect ("), std::string::npos) << r.out << r.err;
}

TEST(HostileServers, AFullDiskEndsTheRunAndTheSameCommandContinuesWithRoom) {
    // The disk fills while a slowly served file comes in: the run ends with "Disk full" after a
    // few requests, and once there is room the same command finishes the file. It runs in a
    // mount namespace of its own with a small file system (nothing on the machine changes), so it
    // needs the right to make one.
    NginxOptions options;
    options.limitRate = 32 * 1024;  // per connection: the run lasts some seconds
    NginxServer web(options);
    const std::string a = PatternBytes(600 * 1024, 11);
    WriteFile(web.Root() / "a.bin", a);
    TempDir home, folder, io;
    const std::string script =
        "mount -t tmpfs -o size=1m plover-full \"$1\" || exit 77\n"
        "\"$2\" --home \"$3\" get --folder \"$1\" \"$4\" >\"$5/run1.out\" 2>&1 &\n"
        "run=$!; i=0\n"
        // some of the file on disk first (a file with nothing in it is not yet the download's)
        "while [ $i -lt 1200 ]; do\n"
        "  n=$(du -k \"$1/a.bin\" 2>/dev/null | cut -f1); [ \"${n:-0}\" -ge 64 ] && break\n"
        "  sleep 0.1; i=$((i+1))\n"
        "done\n"
        "dd if=/dev/zero of=\"$1/filler\" bs=4k 2>/dev/null\n"  // until the file system is full
        "wait $run; echo $? >\"$5/run1.rc\"\n"
        "cp \"$6/access.log\" \"$5/run1.log\"\n"
        "rm -f \"$1/filler\"\n"
        "\"$2\" --home \"$3\" get --folder \"$1\" \"$4\" >\"$5/run2.out\" 2>&1; echo $? >\"$5/run2.rc\"\n"
        "cp \"$1/a.bin\" \"$5/\"\n";
    WriteFile(io / "full.sh", script);
    std::string command = "unshare --mount --propagation private sh '" + (io / "full.sh").string() + "' '" +
                          folder.Str() + "' '" + PloverBinary() + "' '" + home.Str() + "' '" +
                          web.Url("/slow/a.bin") + "' '" + io.Str() + "' '" + web.Folder().string() + "' 2>'" +
                          (io / "unshare.err").string() + "'";
    int status = std::system(command.c_str());
    if (WIFEXITED(status) && WEXITSTATUS(status) == 77) GTEST_SKIP() << "no right to mount a small file system here";
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << ReadFile(io / "unshare.err");
    std::string run1 = ReadFile(io / "run1.out"), run2 = ReadFile(io / "run2.out");
    EXPECT_EQ(ReadFile(io / "run1.rc"), "1\n") << run1;
    EXPECT_NE(run1.find(": Disk full ("), std::string::npos) << run1;
    EXPECT_EQ(run1.find("File too big"), std::string::npos) << run1;
    EXPECT_EQ(ReadFile(io / "run2.rc"), "0\n") << run2;
    EXPECT_TRUE(ReadFile(io / "a.bin") == a) << "a.bin differs from the served file";
    // Nothing was asked again and again against the full disk.
    std::string first = ReadFile(io / "run1.log");
    EXPECT_LE(std::count(first.begin(), first.end(), '\n'), 12) << first;
}

}  // namespace
}  // namespace plover::test
