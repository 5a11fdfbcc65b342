#pragma once
// A `plover ui` of this build in a home of its own, installed first, with a client that carries
// its key: what the tests of the option, history and profile commands share.
#include <gtest/gtest.h>
#include <httplib.h>
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>
#include <thread>

#include "cli/run_plover.h"
#include "testutil/servers.h"
#include "testutil/temp_dir.h"

namespace plover::test {

class RunningUi : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(RunPlover(home_.Str(), {"install", "--no-baskets"}).exitCode, 0);
        BeforeStart();
        Start();
    }
    // What a test puts into the home before Plover starts.
    virtual void BeforeStart() {}
    void Start() {
        port_ = FreeLoopbackPort();
        plover_ = std::make_unique<CBackgroundPlover>(
            home_.Str(), std::vector<std::string>{"ui", "--listen", "127.0.0.1:" + std::to_string(port_)}, io_.Str());
        token_.clear();
        auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (token_.empty() && std::chrono::steady_clock::now() < until) {
            std::string out = plover_->Output();
            size_t at = out.find("?token=");
            if (at != std::string::npos && out.find('\n', at) != std::string::npos)
                token_ = out.substr(at + 7, out.find('\n', at) - at - 7);
            else
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        ASSERT_EQ(token_.size(), 64u) << plover_->Output();
        client_ = std::make_unique<httplib::Client>("127.0.0.1", port_);
        client_->set_read_timeout(30);
    }
    // Ends the running Plover in order (it saves) and starts it again on the same home.
    void Restart() {
        plover_->Signal(SIGTERM);
        ASSERT_EQ(plover_->Wait(60000).exitCode, 0);
        Start();
    }

    // The status and the answer's JSON (null when the body is not JSON).
    std::pair<int, nlohmann::json> Get(const std::string& path) {
        return Take(client_->Get(path.c_str(), {{"Authorization", "Bearer " + token_}}));
    }
    std::pair<int, nlohmann::json> Post(const std::string& path, const nlohmann::json& body) {
        return Take(client_->Post(path.c_str(), {{"Authorization", "Bearer " + token_}}, body.dump(), "application/json"));
    }

    TempDir home_, io_;
    int port_ = 0;
    std::string token_;
    std::unique_ptr<CBackgroundPlover> plover_;
    std::unique_ptr<httplib::Client> client_;

private:
    static std::pair<int, nlohmann::json> Take(const httplib::Result& r) {
        if (!r) return {0, nullptr};
        return {r->status, nlohmann::json::parse(r->body, nullptr, false)};
    }
};

}  // namespace plover::test
