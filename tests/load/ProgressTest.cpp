// Progress events and abort, the connection point (Advise, Unadvise, cookies,
// enumerators) and the filter's COM identity.
#include "codec/KwDecodeBudget.h"
#include "hostdouble/KwHostDouble.h"
#include "engine/KwHostEventSink.h"
#include "com/KwMemory.h"
#include "com/KwModuleLock.h"
#include "LoadFixture.h"
#include "TestEventSink.h"

namespace {

Bytes Rows(int height, bool progressive = false)
{
    TestJpeg::Options options;
    options.Kind = TestJpeg::Gray;
    options.Width = 8;
    options.Height = height;
    options.Progressive = progressive;
    return TestJpeg::Make(options);
}

bool FailAll(unsigned long, std::size_t) { return true; }

} // namespace

class ProgressTest : public LoadFixture {
protected:
    KwComPtr<KwHostEventSink> NewSink()
    {
        KwComPtr<KwHostEventSink> sink;
        EXPECT_EQ(KwHostEventSink::Create(sink.Receive(), context), S_OK);
        return sink;
    }
    KwComPtr<IConnectionPoint> Point()
    {
        KwComPtr<IConnectionPointContainer> container;
        EXPECT_EQ(KwQuery(filter.Get(), container.Receive()), S_OK);
        KwComPtr<IConnectionPoint> point;
        EXPECT_EQ(container->FindConnectionPoint(DIID__IKwFilterEvents, point.Receive()), S_OK);
        return point;
    }
};

struct CadenceCase {
    int height;
    std::vector<LONG> values;
};
void PrintTo(const CadenceCase& c, std::ostream* os) { *os << c.height << " rows"; }
class ProgressCadenceTest : public LoadCaseTest<CadenceCase> {};

TEST_P(ProgressCadenceTest, OneEventPerSixtyFourRows)
{
    const CadenceCase& c = GetParam();
    KwComPtr<KwHostEventSink> sink;
    ASSERT_EQ(KwHostEventSink::Create(sink.Receive(), context), S_OK);
    ASSERT_EQ(sink->Connect(filter.Get()), S_OK);
    OpenAndLoad(Rows(c.height));
    EXPECT_EQ(sink->ProgressValues(), c.values);
    EXPECT_EQ(sink->OtherEvents(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Heights, ProgressCadenceTest,
                         ::testing::Values(CadenceCase{63, {}}, CadenceCase{64, {100}}, CadenceCase{100, {64}},
                                           CadenceCase{130, {49, 98}}, CadenceCase{200, {32, 64, 96}}));

struct AbortCase {
    int height;
    ULONG at;
    VARIANT_BOOL answer;
    LONG rows;
    // Asked while its scans are read, with a cadence that small scans reach.
    bool progressive = false;
};
void PrintTo(const AbortCase& c, std::ostream* os) { *os << c.height << " at " << c.at << " with " << c.answer; }
class ProgressAbortTest : public LoadCaseTest<AbortCase> {};

TEST_P(ProgressAbortTest, AbortStopsTheLoad)
{
    const AbortCase& c = GetParam();
    struct Cadence {
        explicit Cadence(std::uint64_t visits) : Old(KwDecodeBudget::SetVisitsPerEvent(visits)) {}
        ~Cadence() { KwDecodeBudget::SetVisitsPerEvent(Old); }
        std::uint64_t Old;
    } cadence(c.progressive ? 1000 : KwDecodeBudget::DefaultVisitsPerEvent);
    KwComPtr<KwHostEventSink> sink;
    ASSERT_EQ(KwHostEventSink::Create(sink.Receive(), context), S_OK);
    sink->AbortAt(c.at, c.answer);
    ASSERT_EQ(sink->Connect(filter.Get()), S_OK);
    ASSERT_EQ(Open(Rows(c.height, c.progressive)), S_OK);
    KwComPtr<IDispatch> node;
    EXPECT_EQ(Load(node.Receive()), E_ABORT);
    EXPECT_TRUE(node);
    EXPECT_EQ(sink->ProgressValues().size(), c.at);
    EXPECT_EQ(sink->ProgressValues().back(), c.rows * 100 / c.height);
    EXPECT_EQ(Raster()->RowsDelivered(), c.rows);
    EXPECT_EQ(KwHostScanlineCalls(Raster()).size(), static_cast<size_t>(c.rows));
    EXPECT_EQ(Raster()->EndObjectCalls(), 0u);
    EXPECT_EQ(NodeAttribute("Loaded")->Value.Get().boolVal, VARIANT_FALSE);
    EXPECT_EQ(NodeAttribute("BitsPerPixel"), nullptr);
    EXPECT_EQ(NodeAttribute("LpiX"), nullptr);
    // The node is not loaded: the next load starts again in a new raster block.
    sink->AbortAt(0);
    EXPECT_EQ(Load(), S_OK);
    EXPECT_EQ(RasterCount(), 2u);
    ExpectRowsOfReference(Rows(c.height, c.progressive));
}

INSTANTIATE_TEST_SUITE_P(Answers, ProgressAbortTest,
                         ::testing::Values(AbortCase{1000, 1, VARIANT_TRUE, 64}, AbortCase{1000, 1, 1, 64},
                                           AbortCase{1000, 3, VARIANT_TRUE, 192}, AbortCase{128, 2, 7, 128},
                                           AbortCase{1000, 1, VARIANT_TRUE, 0, true}));

class ProgressSinksTest : public LoadCaseTest<bool> {};

TEST_P(ProgressSinksTest, EverySinkIsCalledAndTheLastAnswerCounts)
{
    const bool lastAborts = GetParam();
    KwComPtr<KwHostEventSink> first;
    KwComPtr<KwHostEventSink> second;
    ASSERT_EQ(KwHostEventSink::Create(first.Receive(), context), S_OK);
    ASSERT_EQ(KwHostEventSink::Create(second.Receive(), context), S_OK);
    first->AbortAt(lastAborts ? 0 : 1, VARIANT_TRUE);
    first->SetProgressResult(E_FAIL); // ignored
    second->AnswerEveryEvent(!lastAborts, VARIANT_FALSE);
    second->AbortAt(lastAborts ? 1 : 0, VARIANT_TRUE);
    ASSERT_EQ(first->Connect(filter.Get()), S_OK);
    ASSERT_EQ(second->Connect(filter.Get()), S_OK);
    ASSERT_EQ(Open(Rows(200)), S_OK);
    EXPECT_EQ(Load(), lastAborts ? E_ABORT : S_OK);
    const std::vector<LONG> expected = lastAborts ? std::vector<LONG>{32} : std::vector<LONG>{32, 64, 96};
    EXPECT_EQ(first->ProgressValues(), expected);
    EXPECT_EQ(second->ProgressValues(), expected);
}

INSTANTIATE_TEST_SUITE_P(LastAborts, ProgressSinksTest, ::testing::Bool());

TEST_F(ProgressTest, SinksChangingTheTableWhileEventsFire)
{
    KwComPtr<IConnectionPoint> point = Point();
    // Four sinks fill the table; the first leaves and brings in two more
    // (the table grows while it is being walked).
    KwComPtr<KwHostEventSink> sinks[6];
    for (auto& sink : sinks) sink = NewSink();
    DWORD cookies[6] = {};
    for (int i = 0; i < 4; ++i)
        ASSERT_EQ(point->Advise(static_cast<_IKwFilterEvents*>(sinks[i].Get()), &cookies[i]), S_OK);
    sinks[0]->SetCallback([&](LONG, VARIANT_BOOL*) {
        if (cookies[4]) return;
        EXPECT_EQ(point->Unadvise(cookies[0]), S_OK);
        EXPECT_EQ(point->Advise(static_cast<_IKwFilterEvents*>(sinks[4].Get()), &cookies[4]), S_OK);
        EXPECT_EQ(point->Advise(static_cast<_IKwFilterEvents*>(sinks[5].Get()), &cookies[5]), S_OK);
    });
    OpenAndLoad(Rows(192));
    EXPECT_EQ(cookies[4], 1u) << "the freed slot is taken first";
    EXPECT_EQ(cookies[5], 5u);
    EXPECT_EQ(sinks[0]->ProgressValues().size(), 1u);
    EXPECT_EQ(sinks[1]->ProgressValues().size(), 3u);
    // Sinks added during an event are called from the next event on.
    EXPECT_EQ(sinks[4]->ProgressValues(), (std::vector<LONG>{66, 100}));
    EXPECT_EQ(sinks[5]->ProgressValues(), (std::vector<LONG>{66, 100}));
}

TEST_F(ProgressTest, AdviseAndUnadvise)
{
    KwComPtr<IConnectionPoint> point = Point();
    KwComPtr<KwHostEventSink> sinks[9];
    DWORD cookie = 0;
    for (int i = 0; i < 5; ++i) {
        sinks[i] = NewSink();
        ASSERT_EQ(point->Advise(static_cast<_IKwFilterEvents*>(sinks[i].Get()), &cookie), S_OK);
        EXPECT_EQ(cookie, static_cast<DWORD>(i + 1));
        EXPECT_EQ(sinks[i]->References(), 2u);
    }
    EXPECT_EQ(point->Unadvise(2), S_OK);
    EXPECT_EQ(sinks[1]->References(), 1u);
    EXPECT_EQ(point->Unadvise(2), CONNECT_E_NOCONNECTION);
    sinks[5] = NewSink();
    ASSERT_EQ(point->Advise(static_cast<_IKwFilterEvents*>(sinks[5].Get()), &cookie), S_OK);
    EXPECT_EQ(cookie, 2u) << "the lowest free slot";
    for (DWORD bad : {0u, 7u, 8u, 9u, 0xFFFFFFFFu}) EXPECT_EQ(point->Unadvise(bad), CONNECT_E_NOCONNECTION) << bad;
    for (int i = 6; i < 9; ++i) {
        sinks[i] = NewSink();
        ASSERT_EQ(point->Advise(static_cast<_IKwFilterEvents*>(sinks[i].Get()), &cookie), S_OK);
    }
    EXPECT_EQ(cookie, 8u);
    // Refusals leave the cookie at 0.
    KwComPtr<KwHostEventSink> deaf = NewSink();
    deaf->SetAnswersEvents(false);
    cookie = 77;
    EXPECT_EQ(point->Advise(static_cast<_IKwFilterEvents*>(deaf.Get()), &cookie), CONNECT_E_CANNOTCONNECT);
    EXPECT_EQ(cookie, 0u);
    EXPECT_EQ(deaf->References(), 1u);
    TestEventSink failing;
    failing.EventsQueryResult = E_OUTOFMEMORY;
    cookie = 77;
    EXPECT_EQ(point->Advise(&failing, &cookie), E_OUTOFMEMORY);
    EXPECT_EQ(cookie, 0u);
    cookie = 77;
    EXPECT_EQ(point->Advise(nullptr, &cookie), E_POINTER);
    EXPECT_EQ(cookie, 0u);
    EXPECT_EQ(point->Advise(static_cast<_IKwFilterEvents*>(sinks[0].Get()), nullptr), E_POINTER);
    // A table that cannot grow: 8 slots are taken.
    TestEventSink extra;
    KwSetAllocationHook(&FailAll);
    cookie = 77;
    EXPECT_EQ(point->Advise(&extra, &cookie), CONNECT_E_ADVISELIMIT);
    KwSetAllocationHook(nullptr);
    EXPECT_EQ(cookie, 0u);
    EXPECT_EQ(extra.References, 1u);
    EXPECT_EQ(point->Advise(&extra, &cookie), S_OK);
    EXPECT_EQ(cookie, 9u);

    // Released with the filter, whatever is still connected.
    point.Reset();
    filter.Reset();
    for (auto& sink : sinks) EXPECT_EQ(sink->References(), 1u);
    EXPECT_EQ(extra.References, 1u);
}

TEST_F(ProgressTest, Enumerators)
{
    KwComPtr<IConnectionPoint> point = Point();
    KwComPtr<KwHostEventSink> sinks[3];
    DWORD cookie = 0;
    for (auto& sink : sinks) {
        sink = NewSink();
        ASSERT_EQ(point->Advise(static_cast<_IKwFilterEvents*>(sink.Get()), &cookie), S_OK);
    }
    ASSERT_EQ(point->Unadvise(2), S_OK);
    KwComPtr<IEnumConnections> connections;
    ASSERT_EQ(point->EnumConnections(connections.Receive()), S_OK);
    ASSERT_EQ(point->Unadvise(3), S_OK) << "the enumerator keeps its snapshot";
    EXPECT_EQ(sinks[2]->References(), 2u);
    CONNECTDATA data[4] = {};
    ULONG fetched = 0;
    EXPECT_EQ(connections->Next(4, data, &fetched), S_FALSE);
    ASSERT_EQ(fetched, 2u);
    EXPECT_EQ(data[0].dwCookie, 1u);
    EXPECT_EQ(data[1].dwCookie, 3u);
    EXPECT_EQ(data[1].pUnk, static_cast<IUnknown*>(static_cast<_IKwFilterEvents*>(sinks[2].Get())));
    for (ULONG i = 0; i < fetched; ++i) data[i].pUnk->Release();
    EXPECT_EQ(connections->Next(2, data, nullptr), E_POINTER);
    EXPECT_EQ(connections->Reset(), S_OK);
    EXPECT_EQ(connections->Skip(1), S_OK);
    KwComPtr<IEnumConnections> clone;
    ASSERT_EQ(connections->Clone(clone.Receive()), S_OK);
    EXPECT_EQ(connections->Skip(5), S_FALSE);
    ASSERT_EQ(clone->Next(1, data, nullptr), S_OK);
    EXPECT_EQ(data[0].dwCookie, 3u);
    data[0].pUnk->Release();
    connections.Reset();
    clone.Reset();
    EXPECT_EQ(sinks[2]->References(), 1u);

    KwComPtr<IConnectionPointContainer> container;
    ASSERT_EQ(KwQuery(filter.Get(), container.Receive()), S_OK);
    KwComPtr<IEnumConnectionPoints> points;
    ASSERT_EQ(container->EnumConnectionPoints(points.Receive()), S_OK);
    IConnectionPoint* found[2] = {};
    EXPECT_EQ(points->Next(2, found, &fetched), S_FALSE);
    ASSERT_EQ(fetched, 1u);
    EXPECT_EQ(found[0], point.Get());
    found[0]->Release();
    KwComPtr<IEnumConnectionPoints> pointsClone;
    ASSERT_EQ(points->Clone(pointsClone.Receive()), S_OK);
    EXPECT_EQ(pointsClone->Next(1, found, nullptr), S_FALSE);
    EXPECT_EQ(pointsClone->Reset(), S_OK);
    EXPECT_EQ(pointsClone->Skip(1), S_OK);
    EXPECT_EQ(pointsClone->Skip(1), S_FALSE);
    EXPECT_EQ(container->EnumConnectionPoints(nullptr), E_POINTER);
}

TEST_F(ProgressTest, IdentityOfFilterAndConnectionPoint)
{
    KwComPtr<IUnknown> identity;
    ASSERT_EQ(KwQuery(filter.Get(), identity.Receive()), S_OK);
    EXPECT_EQ(identity.Get(), static_cast<IUnknown*>(filter.Get()));
    KwComPtr<ISupportErrorInfo> errorInfo;
    ASSERT_EQ(KwQuery(filter.Get(), errorInfo.Receive()), S_OK);
    EXPECT_EQ(errorInfo->InterfaceSupportsErrorInfo(IID_IKwFilter), S_OK);
    EXPECT_EQ(errorInfo->InterfaceSupportsErrorInfo(IID_IConnectionPointContainer), S_FALSE);
    KwComPtr<IKwFilterSave> save;
    EXPECT_EQ(KwQuery(filter.Get(), save.Receive()), E_NOINTERFACE);

    KwComPtr<IConnectionPointContainer> container;
    ASSERT_EQ(KwQuery(filter.Get(), container.Receive()), S_OK);
    KwComPtr<IConnectionPoint> point;
    for (const IID* other : {&IID_IKwFilter, &IID_IUnknown, &IID_IDispatch}) {
        IConnectionPoint* none = reinterpret_cast<IConnectionPoint*>(0x1234);
        EXPECT_EQ(container->FindConnectionPoint(*other, &none), CONNECT_E_NOCONNECTION);
        EXPECT_EQ(none, nullptr);
    }
    EXPECT_EQ(container->FindConnectionPoint(DIID__IKwFilterEvents, nullptr), E_POINTER);
    ASSERT_EQ(container->FindConnectionPoint(DIID__IKwFilterEvents, point.Receive()), S_OK);
    IID iid = IID_NULL;
    EXPECT_EQ(point->GetConnectionInterface(&iid), S_OK);
    EXPECT_TRUE(IsEqualIID(iid, DIID__IKwFilterEvents));
    KwComPtr<IConnectionPointContainer> back;
    ASSERT_EQ(point->GetConnectionPointContainer(back.Receive()), S_OK);
    KwComPtr<IUnknown> backIdentity;
    ASSERT_EQ(KwQuery(back.Get(), backIdentity.Receive()), S_OK);
    EXPECT_EQ(backIdentity.Get(), identity.Get());
    KwComPtr<IKwFilter> notHere;
    EXPECT_EQ(KwQuery(point.Get(), notHere.Receive()), E_NOINTERFACE);

    // A held connection point keeps its filter.
    container.Reset();
    back.Reset();
    backIdentity.Reset();
    identity.Reset();
    errorInfo.Reset();
    filter.Reset();
    EXPECT_GT(KwModuleLockCount(), 0);
    KwComPtr<KwHostEventSink> sink = NewSink();
    DWORD cookie = 0;
    EXPECT_EQ(point->Advise(static_cast<_IKwFilterEvents*>(sink.Get()), &cookie), S_OK);
    point.Reset();
    EXPECT_EQ(KwModuleLockCount(), 0);
    EXPECT_EQ(sink->References(), 1u);
}

namespace {

// An outer object that aggregates a load filter and exposes its IKwFilter.
class Outer final : public IUnknown {
public:
    ULONG References = 1;
    KwComPtr<IUnknown> Inner;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override
    {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (IsEqualIID(riid, IID_IUnknown)) {
            *ppv = static_cast<IUnknown*>(this);
            AddRef();
            return S_OK;
        }
        return Inner ? Inner->QueryInterface(riid, ppv) : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++References; }
    ULONG STDMETHODCALLTYPE Release() override { return --References; }
};

} // namespace

TEST_F(ProgressTest, AggregatedFilterAnswersForItsOuterObject)
{
    Outer outer;
    ASSERT_EQ(KwCreateComObject<CKwFilterJPEG>(&outer, IID_IUnknown, reinterpret_cast<void**>(outer.Inner.Receive())),
              S_OK);
    EXPECT_EQ(KwCreateComObject<CKwFilterJPEG>(&outer, IID_IKwFilter, reinterpret_cast<void**>(filter.Receive())),
              CLASS_E_NOAGGREGATION);
    KwComPtr<IKwFilter> aggregated;
    ASSERT_EQ(outer.QueryInterface(IID_IKwFilter, reinterpret_cast<void**>(aggregated.Receive())), S_OK);
    EXPECT_EQ(outer.References, 2u) << "the interface counts on the outer object";
    KwComPtr<IUnknown> identity;
    ASSERT_EQ(KwQuery(aggregated.Get(), identity.Receive()), S_OK);
    EXPECT_EQ(identity.Get(), static_cast<IUnknown*>(&outer));
    identity.Reset();
    KwComPtr<IConnectionPointContainer> container;
    ASSERT_EQ(KwQuery(aggregated.Get(), container.Receive()), S_OK);
    KwComPtr<IConnectionPoint> point;
    ASSERT_EQ(container->FindConnectionPoint(DIID__IKwFilterEvents, point.Receive()), S_OK);
    EXPECT_EQ(outer.References, 4u);
    point.Reset();
    container.Reset();
    aggregated.Reset();
    EXPECT_EQ(outer.References, 1u);
    outer.Inner.Reset();
    EXPECT_EQ(KwModuleLockCount(), 0);
}
