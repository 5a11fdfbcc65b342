#include "app/message.h"

#include <cstdio>
#include <mutex>

namespace plover {
namespace {

std::mutex& HandlerLock() {
    static std::mutex lock;
    return lock;
}

std::function<void(const std::string&)>& Handler() {
    static std::function<void(const std::string&)> handler;
    return handler;
}

}  // namespace

void ShowMessage(const std::string& text) {
    std::function<void(const std::string&)> h;
    {
        std::lock_guard g(HandlerLock());
        h = Handler();
    }
    if (h)
        h(text);
    else
        std::fprintf(stderr, "%s\n", text.c_str());
}

void SetMessageHandler(std::function<void(const std::string&)> handler) {
    std::lock_guard g(HandlerLock());
    Handler() = std::move(handler);
}

}  // namespace plover
