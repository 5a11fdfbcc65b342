#include "net/net_reports.h"

#include <atomic>

namespace plover {
namespace {
std::atomic<INetReports*> g_receiver{nullptr};
}  // namespace

void InstallNetReports(INetReports* receiver) { g_receiver.store(receiver); }

INetReports* NetReports() { return g_receiver.load(); }

}  // namespace plover
