// The application sink list: identity by object, re-entrant firing, CBRSink's life.
#include <gtest/gtest.h>

#include "engine/sinks.h"

namespace plover::test {
namespace {

inline constexpr GUID IID_IPaneSink = MakeGuid("0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0");

// A second interface that is itself an IBRSink: the object has two distinct IBRSink pointers.
struct IPaneSink : IBRSink {
protected:
    ~IPaneSink() = default;
};

// A pane-like sink: embedded (not deleted on last release), with a second sink interface.
class CPane final : public CBRSink, public IPaneSink {
public:
    explicit CPane(std::vector<std::string>* calls, std::string name, CSinkList* list = nullptr)
        : CBRSink(false), calls_(calls), name_(std::move(name)), list_(list) {}

    HRESULT QueryInterface(const GUID& iid, void** out) override {
        if (out && iid == IID_IPaneSink) {
            *out = static_cast<IPaneSink*>(this);
            AddRef();
            return S_OK;
        }
        return CBRSink::QueryInterface(iid, out);
    }
    uint32_t AddRef() override { return CBRSink::AddRef(); }
    uint32_t Release() override { return CBRSink::Release(); }
    void OnNotify(uint32_t code, uintptr_t p1, uintptr_t p2) override {
        calls_->push_back(name_ + " " + std::to_string(code) + "," + std::to_string(p1) + "," + std::to_string(p2));
        if (list_) list_->Unadvise(static_cast<CBRSink*>(this));  // leaves from inside the call
    }
    IBRSink* AsSink() { return static_cast<CBRSink*>(this); }
    IBRSink* AsPaneSink() { return static_cast<IPaneSink*>(this); }

private:
    std::vector<std::string>* calls_;
    std::string name_;
    CSinkList* list_;
};

TEST(Sinks, AnObjectIsOnTheListOnceWhicheverPointerAdvisesIt) {
    std::vector<std::string> calls;
    CPane pane(&calls, "a");
    ASSERT_NE(pane.AsSink(), pane.AsPaneSink());
    CSinkList list;
    EXPECT_TRUE(list.Advise(pane.AsSink()));
    EXPECT_FALSE(list.Advise(pane.AsSink()));
    EXPECT_FALSE(list.Advise(pane.AsPaneSink()));
    EXPECT_FALSE(list.Advise(nullptr));
    EXPECT_EQ(list.GetSize(), 1u);
    EXPECT_TRUE(list.Unadvise(pane.AsPaneSink()));  // identity, not the pointer, decides
    EXPECT_EQ(list.GetSize(), 0u);
}

TEST(Sinks, UnadvisingAnUnknownSinkChangesNothing) {
    std::vector<std::string> calls;
    CPane on(&calls, "on"), off(&calls, "off");
    CSinkList list;
    list.Advise(on.AsSink());
    EXPECT_FALSE(list.Unadvise(off.AsSink()));
    EXPECT_FALSE(list.Unadvise(nullptr));
    EXPECT_EQ(list.GetSize(), 1u);
    list.Fire(BRN_BASKET_LIST_CHANGED, 0, 0);
    EXPECT_EQ(calls, (std::vector<std::string>{"on 2,0,0"}));
    list.Clear();
}

TEST(Sinks, FireCallsEverySinkInListOrderAndASinkMayLeaveFromItsCall) {
    std::vector<std::string> calls;
    CSinkList list;
    CPane first(&calls, "first", &list), second(&calls, "second");
    list.Advise(first.AsSink());
    list.Advise(second.AsSink());
    list.Fire(7, 1, 2);
    list.Fire(8, 0, 0);
    EXPECT_EQ(calls, (std::vector<std::string>{"first 7,1,2", "second 7,1,2", "second 8,0,0"}));
    list.Clear();
}

TEST(Sinks, TheListHoldsAReferenceAndDeleteOnReleaseDecidesTheEnd) {
    struct CCounted final : CBRSink {
        explicit CCounted(bool* gone) : CBRSink(true), gone_(gone) {}
        ~CCounted() override { *gone_ = true; }
        void OnNotify(uint32_t, uintptr_t, uintptr_t) override {}
        bool* gone_;
    };
    bool gone = false;
    {
        CSinkList list;
        auto* sink = new CCounted(&gone);
        EXPECT_TRUE(list.Advise(sink));
        EXPECT_EQ(sink->Release(), 1u);  // the creator's reference; the list keeps it alive
        EXPECT_FALSE(gone);
    }
    EXPECT_TRUE(gone);  // the list released it when it was emptied
}

TEST(Sinks, TheProcessWideListWorksThroughTheFreeFunctions) {
    std::vector<std::string> calls;
    CPane pane(&calls, "p");
    EXPECT_TRUE(AdviseSink(pane.AsSink()));
    EXPECT_FALSE(AdviseSink(pane.AsPaneSink()));
    FireSinks(BRN_BASKET_LIST_CHANGED, 0, 0);
    EXPECT_TRUE(UnadviseSink(pane.AsSink()));
    EXPECT_FALSE(UnadviseSink(pane.AsSink()));
    EXPECT_EQ(calls, (std::vector<std::string>{"p 2,0,0"}));
}

}  // namespace
}  // namespace plover::test
