// How fast the socket engine drains a download, the way the download workers use it: the socket
// engine reads, a redirector carries every block to a second engine, whose sink counts the bytes.
// The same local sender (a minimal HTTP/1.0 server on 127.0.0.1) then serves the same bytes to
// curl, in the same run, for comparison; besides the rates, the CPU that each client spends (ours
// without the sender's thread) tells how much of the machine a download costs. Last, a throttled drain shows what the process costs in
// CPU while the read throttle holds the data back.
//
// Usage: bench_socket_drain [MiB (default 1024)] [throttled seconds (default 3)] [rounds (default 3)]
#include <arpa/inet.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "engine/engine_end_watch.h"
#include "engine/engine_mgr.h"
#include "net/socket_engine.h"
#include "net/socket_redirector.h"

using namespace plover;
using Clock = std::chrono::steady_clock;

namespace {

// Serves every connection: reads the request head, answers 200 with `total` bytes, closes.
class CSender {
public:
    explicit CSender(uint64_t total) : total_(total), block_(1 << 20) {
        for (size_t i = 0; i < block_.size(); ++i) block_[i] = uint8_t(i * 131);
        listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        int one = 1;
        setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        if (bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(listener_, 8) != 0 ||
            getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
            std::perror("sender");
            std::exit(1);
        }
        port_ = ntohs(a.sin_port);
        thread_ = std::thread([this] { Run(); });
    }
    ~CSender() {
        shutdown(listener_, SHUT_RDWR);
        close(listener_);
        thread_.join();
    }
    uint16_t Port() const { return port_; }
    // CPU seconds of the sender's thread for the last connection it finished serving.
    double LastServeCpu() const { return lastServeCpu_.load(); }

private:
    void Run() {
        for (;;) {
            int fd = accept(listener_, nullptr, nullptr);
            if (fd < 0) return;
            std::thread([this, fd] { Serve(fd); }).detach();
        }
    }
    void Serve(int fd) {
        std::string head;
        char c[1024];
        while (head.find("\r\n\r\n") == std::string::npos) {
            ssize_t n = recv(fd, c, sizeof c, 0);
            if (n <= 0) break;
            head.append(c, size_t(n));
        }
        std::string reply = "HTTP/1.0 200 OK\r\nContent-Type: application/octet-stream\r\nContent-Length: " +
                            std::to_string(total_) + "\r\n\r\n";
        send(fd, reply.data(), reply.size(), MSG_NOSIGNAL);
        for (uint64_t sent = 0; sent < total_;) {
            size_t n = size_t(std::min<uint64_t>(block_.size(), total_ - sent));
            ssize_t w = send(fd, block_.data(), n, MSG_NOSIGNAL);
            if (w <= 0) break;
            sent += uint64_t(w);
        }
        timespec cpu{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpu);
        lastServeCpu_ = double(cpu.tv_sec) + double(cpu.tv_nsec) / 1e9;
        close(fd);
    }

    uint64_t total_;
    std::vector<uint8_t> block_;
    int listener_ = -1;
    uint16_t port_ = 0;
    std::thread thread_;
    std::atomic<double> lastServeCpu_{0};
};

// The owner's sink, on the second engine: sends the request when connected, counts the bytes.
class CCountingSink final : public ISockAdviseSink {
public:
    HRESULT QueryInterface(const GUID&, void** out) override {
        if (out) *out = nullptr;
        return E_NOINTERFACE;
    }
    uint32_t AddRef() override { return 2; }
    uint32_t Release() override { return 1; }
    bool OnConnect(ISocket* s, bool ok) override {
        if (ok) s->Send("GET / HTTP/1.0\r\n\r\n", 18);
        else done.Set();
        return true;
    }
    bool OnAccept(ISocket*) override { return true; }
    bool OnClose(ISocket*) override {
        done.Set();
        return true;
    }
    bool OnReady(ISocket*) override { return true; }
    bool OnReceive(ISocket*, const uint8_t*, uint32_t n) override {
        bytes += n;
        ++reads;
        return true;
    }
    bool OnError(ISocket*, uint32_t) override { return true; }

    std::atomic<uint64_t> bytes{0};
    std::atomic<uint64_t> reads{0};
    CEvent done;
};

class CTarget final : public CEngine {};

double CpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

struct SDrain {
    uint64_t bytes;
    double seconds;
    double cpu;
    uint64_t reads = 0;
};

// One download through the socket engine and a redirector to the target engine; stops after
// `limit` seconds when given.
SDrain Drain(CSocketEngine* engine, CEngine* target, const CSender& sender, double limit = 0) {
    uint16_t port = sender.Port();
    CCountingSink sink;
    auto redirector = RefPtr<CSocketRedirector>::Adopt(new CSocketRedirector(&sink, target));
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    double cpu0 = CpuSeconds();
    auto t0 = Clock::now();
    RefPtr<ISocket> socket;
    if (!engine->CreateSocket(redirector.Get(), &to, socket.Put(), true)) {
        std::fprintf(stderr, "no socket\n");
        std::exit(1);
    }
    socket->RegisterEvent();
    sink.done.Wait(limit > 0 ? int(limit * 1000) : -1);
    SDrain d{sink.bytes.load(), Seconds(Clock::now() - t0), CpuSeconds() - cpu0, sink.reads.load()};
    if (limit <= 0) d.cpu -= sender.LastServeCpu();  // the client's share: without the sender's thread
    socket->Close();
    redirector->End();
    return d;
}

SDrain Curl(uint16_t port) {
    std::string cmd = "curl -s -o /dev/null http://127.0.0.1:" + std::to_string(port) + "/";
    rusage before{}, after{};
    getrusage(RUSAGE_CHILDREN, &before);
    auto t0 = Clock::now();
    int rc = std::system(cmd.c_str());
    SDrain d{0, Seconds(Clock::now() - t0), 0};
    getrusage(RUSAGE_CHILDREN, &after);
    d.cpu = double(after.ru_utime.tv_sec - before.ru_utime.tv_sec + after.ru_stime.tv_sec - before.ru_stime.tv_sec) +
            double(after.ru_utime.tv_usec - before.ru_utime.tv_usec + after.ru_stime.tv_usec - before.ru_stime.tv_usec) / 1e6;
    if (rc != 0) std::fprintf(stderr, "curl failed (%d)\n", rc);
    return d;
}

double MBps(uint64_t bytes, double s) { return double(bytes) / 1e6 / s; }

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    uint64_t mib = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1024;
    double throttledSeconds = argc > 2 ? std::atof(argv[2]) : 3;
    int rounds = argc > 3 ? std::max(1, std::atoi(argv[3])) : 3;
    uint64_t total = mib << 20;
    CSender sender(total);
    std::atomic<uint32_t> quota{0xFFFFFFFF};
    auto* engine = new CSocketEngine([&] { return quota.load(); });
    auto* target = new CTarget;
    CEngineEndWatch engineEnd, targetEnd;
    engine->SetProgress(&engineEnd);
    target->SetProgress(&targetEnd);
    engine->Start();
    target->Start();

    Drain(engine, target, sender);  // first connection: caches and buffers warm up
    // Rounds alternate between the two clients, so that a burst of other load on the machine
    // hits both alike; the medians are compared.
    std::vector<double> oursRates, curlRates, oursCpu, curlCpu;
    bool complete = true;
    for (int r = 0; r < rounds; ++r) {
        SDrain ours = Drain(engine, target, sender);
        SDrain curl = Curl(sender.Port());
        complete = complete && ours.bytes > total;  // the body and the reply head
        oursRates.push_back(MBps(ours.bytes, ours.seconds));
        curlRates.push_back(MBps(total, curl.seconds));
        oursCpu.push_back(ours.cpu);
        curlCpu.push_back(curl.cpu);
        std::printf("round %d: socket engine + redirector %.1f MB/s (%.3f s, CPU %.2f s, %llu reads of %.0f KB); "
                    "curl %.1f MB/s (%.3f s, curl CPU %.2f s)\n",
                    r + 1, oursRates.back(), ours.seconds, ours.cpu, (unsigned long long)ours.reads,
                    double(ours.bytes) / 1024 / double(ours.reads ? ours.reads : 1), curlRates.back(), curl.seconds,
                    curl.cpu);
    }
    double oursMedian = Median(oursRates), curlMedian = Median(curlRates);
    std::printf("%llu MiB, median of %d rounds: socket engine + redirector %.1f MB/s, curl %.1f MB/s, ratio %.2fx curl\n",
                (unsigned long long)mib, rounds, oursMedian, curlMedian, oursMedian / curlMedian);
    std::printf("client CPU per GiB, median: socket engine + redirector %.2f s, curl %.2f s\n",
                Median(oursCpu) * 1024 / double(mib), Median(curlCpu) * 1024 / double(mib));

    quota = 1 << 20;  // 1 MiB per second: the throttle holds the data back most of the time
    SDrain slow = Drain(engine, target, sender, throttledSeconds);
    std::printf("throttled to 1 MiB/s: %llu bytes in %.2f s = %.2f MB/s, process CPU %.3f s = %.2f%% of one core\n",
                (unsigned long long)slow.bytes, slow.seconds, MBps(slow.bytes, slow.seconds), slow.cpu,
                100 * slow.cpu / slow.seconds);

    target->Stop();
    targetEnd.ended.Wait();
    engine->Stop();
    engineEnd.ended.Wait();
    engine->Release();
    target->Release();
    return complete ? 0 : 1;
}
