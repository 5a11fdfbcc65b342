#include <gtest/gtest.h>

#include "engine/containers.h"
#include "platform/com.h"
#include "platform/event.h"
#include "platform/tick.h"
#include "platform/window.h"

namespace plover {
namespace {

TEST(Guid, ParsesRegistryFormAndPrintsItBack) {
    constexpr GUID g = MakeGuid("{8FF725EA-37AA-4FC0-9002-79B218057EC2}");
    EXPECT_EQ(g.Data1, 0x8FF725EAu);
    EXPECT_EQ(g.Data2, 0x37AA);
    EXPECT_EQ(g.Data4[7], 0xC2);
    EXPECT_EQ(g.ToString(), "{8FF725EA-37AA-4FC0-9002-79B218057EC2}");
    EXPECT_EQ(g, MakeGuid("8ff725ea-37aa-4fc0-9002-79b218057ec2"));
}

TEST(Event, ManualResetStaysSignalledUntilReset) {
    CEvent e;
    EXPECT_FALSE(e.IsSet());
    e.Set();
    e.Set();
    EXPECT_TRUE(e.IsSet());
    EXPECT_TRUE(e.IsSet());
    e.Reset();
    EXPECT_FALSE(e.IsSet());
    EXPECT_FALSE(e.Wait(0));
}

TEST(Tick, IntervalsSurviveTheWrap) {
    uint32_t then = 0xFFFFFFF0u, now = 0x10u;
    EXPECT_EQ(now - then, 0x20u);
    uint32_t a = GetTickCount();
    SleepMs(20);
    EXPECT_GE(GetTickCount() - a, 20u);
}

struct Counted : IUnknown {
    RefCount refs;
    bool* destroyed;
    explicit Counted(bool* d) : destroyed(d) {}
    virtual ~Counted() { *destroyed = true; }
    HRESULT QueryInterface(const GUID& iid, void** out) override {
        if (!out) return E_INVALIDARG;
        if (iid != IID_IUnknown) {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        *out = static_cast<IUnknown*>(this);
        return S_OK;
    }
    uint32_t AddRef() override { return refs.Add(); }
    uint32_t Release() override {
        uint32_t n = refs.Drop();
        if (n == 0) delete this;
        return n;
    }
};

TEST(RefPtr, AdoptTakesTheCreatorsReferenceAndTheLastReleaseDestroys) {
    bool destroyed = false;
    {
        auto p = RefPtr<Counted>::Adopt(new Counted(&destroyed));
        RefPtr<Counted> copy = p;
        EXPECT_EQ(p->refs.Value(), 2);
        CInterfaceArray<IUnknown> arr;
        arr.Add(p.Get());
        EXPECT_EQ(p->refs.Value(), 3);
        EXPECT_TRUE(SameObject(p.Get(), copy.Get()));
    }
    EXPECT_TRUE(destroyed);
}

TEST(MessageQueueWindow, DeliversInOrderAndTimesOut) {
    CMessageQueueWindow w;
    PostMessage(&w, 1, 2, 3);
    PostMessage(&w, 4, 5, 6);
    EXPECT_EQ(w.GetMessage(0)->msg, 1u);
    EXPECT_EQ(w.GetMessage(0)->lp, 6u);
    EXPECT_FALSE(w.GetMessage(10).has_value());
}

}  // namespace
}  // namespace plover
