#include "cli/cli_kit.h"

#include <iostream>

namespace plover::cli {

HRESULT CCommandNetSink::QueryInterface(const GUID& iid, void** out) {
    if (!out) return E_INVALIDARG;
    *out = iid == IID_IUnknown || iid == IID_INetAdviseSink ? static_cast<INetAdviseSink*>(this) : nullptr;
    return *out ? S_OK : E_NOINTERFACE;
}

std::ostream& Complain() { return std::cerr << "plover: "; }

}  // namespace plover::cli
