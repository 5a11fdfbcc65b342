#pragma once
// Hears an engine's end: given to an engine started on its own (outside the engine manager) as
// its progress sink, so that its owner can wait until the engine's thread has finished its work.
// It lives on its owner's stack or in its fixture, longer than the engine runs.
#include "engine/engine_mgr.h"
#include "platform/event.h"

namespace plover {

class CEngineEndWatch final : public IProgress {
public:
    HRESULT QueryInterface(const GUID&, void** out) override {
        if (out) *out = nullptr;
        return E_NOINTERFACE;
    }
    uint32_t AddRef() override { return 1; }
    uint32_t Release() override { return 1; }
    void OnProgress(uint32_t, uint32_t, uint32_t) override {}
    void OnProgressStep(uint32_t, uint32_t) override {}
    void OnComplete(IUnknown*) override { ended.Set(); }
    CEvent ended;
};

}  // namespace plover
