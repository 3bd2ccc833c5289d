// The vtable slots of the C++ interface declarations: the slot reading of
// KwInterfaceTable.h is proved against calls through raw vtables of mocks, and
// the slots that the contract fixes are checked, including those of the host
// node interfaces that the type library does not declare.
#include <gtest/gtest.h>

#include <string>

#include "KwInterfaceTable.h"

namespace {

// Calls slot `slot` of `object` through its raw vtable, as a client compiled
// against the type library would.
template <typename I, typename... A> HRESULT CallSlot(I* object, int slot, A... args)
{
    using Function = HRESULT(STDMETHODCALLTYPE*)(I*, A...);
    void** vtable = *reinterpret_cast<void***>(object);
    return reinterpret_cast<Function>(vtable[slot])(object, args...);
}

// Each method records its own name.
struct Recorder {
    std::string called;
    HRESULT Hit(const char* name)
    {
        called = name;
        return S_OK;
    }
};

#define KW_MOCK_IUNKNOWN                                                                                             \
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override { return Hit("QueryInterface"); }              \
    ULONG STDMETHODCALLTYPE AddRef() override                                                                        \
    {                                                                                                                \
        Hit("AddRef");                                                                                               \
        return 1;                                                                                                    \
    }                                                                                                                \
    ULONG STDMETHODCALLTYPE Release() override                                                                       \
    {                                                                                                                \
        Hit("Release");                                                                                              \
        return 1;                                                                                                    \
    }

struct MockFilter : IKwFilter, Recorder {
    KW_MOCK_IUNKNOWN
    HRESULT STDMETHODCALLTYPE OpenDocument(IKwDataObject*, IKwDocument*, IKwFilters*) override
    {
        return Hit("OpenDocument");
    }
    HRESULT STDMETHODCALLTYPE GetNode(VARIANT, VARIANT_BOOL, IDispatch**) override { return Hit("GetNode"); }
};

struct MockEvents : _IKwFilterEvents, Recorder {
    KW_MOCK_IUNKNOWN
    HRESULT STDMETHODCALLTYPE Progress(LONG, VARIANT_BOOL*) override { return Hit("Progress"); }
    HRESULT STDMETHODCALLTYPE FontPath(BSTR*, LONG*) override { return Hit("FontPath"); }
    HRESULT STDMETHODCALLTYPE XrefPath(BSTR*, LONG*) override { return Hit("XrefPath"); }
    HRESULT STDMETHODCALLTYPE XrefPathEx(BSTR*, BSTR, LONG*) override { return Hit("XrefPathEx"); }
    HRESULT STDMETHODCALLTYPE Password(BSTR*) override { return Hit("Password"); }
};

struct MockRasterData : IKwSaveRasterData, Recorder {
    KW_MOCK_IUNKNOWN
    HRESULT STDMETHODCALLTYPE PutAttribute(BSTR, VARIANT) override { return Hit("PutAttribute"); }
    HRESULT STDMETHODCALLTYPE EndObject() override { return Hit("EndObject"); }
    HRESULT STDMETHODCALLTYPE CreateRasterStorage(LONG, LONG, LONG, LONG, LONG, BSTR, LONG, LONG*) override
    {
        return Hit("CreateRasterStorage");
    }
    HRESULT STDMETHODCALLTYPE AddScanline1(KW_RASTER_TYPE, LONG, LONG, LONG, unsigned char*) override
    {
        return Hit("AddScanline1");
    }
    HRESULT STDMETHODCALLTYPE AddScanline2(KW_RASTER_TYPE, LONG, LONG, LONG*, LONG, unsigned char*) override
    {
        return Hit("AddScanline2");
    }
    HRESULT STDMETHODCALLTYPE StartPolyClipRegion(LONG, LONG*, LONG, LONG*, LONG) override
    {
        return Hit("StartPolyClipRegion");
    }
    HRESULT STDMETHODCALLTYPE AppendPolyClipRegion(LONG, LONG*, LONG, LONG*, LONG) override
    {
        return Hit("AppendPolyClipRegion");
    }
};

// A dual interface: its own members follow the four of IDispatch.
struct MockDataObject : IKwDataObject, Recorder {
    KW_MOCK_IUNKNOWN
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return Hit("GetTypeInfoCount"); }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return Hit("GetTypeInfo"); }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override
    {
        return Hit("GetIDsOfNames");
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override
    {
        return Hit("Invoke");
    }
    HRESULT STDMETHODCALLTYPE AttachToStorage(IUnknown*) override { return Hit("AttachToStorage"); }
    HRESULT STDMETHODCALLTYPE BindToStorage(BSTR, VARIANT_BOOL) override { return Hit("BindToStorage"); }
    HRESULT STDMETHODCALLTYPE ResetStorage() override { return Hit("ResetStorage"); }
    HRESULT STDMETHODCALLTYPE get_Storage(IUnknown**) override { return Hit("get_Storage"); }
    HRESULT STDMETHODCALLTYPE get_StorageName(BSTR*) override { return Hit("get_StorageName"); }
    HRESULT STDMETHODCALLTYPE get_TemporaryName(BSTR*) override { return Hit("get_TemporaryName"); }
    HRESULT STDMETHODCALLTYPE get_StorageType(KW_STORAGE_TYPE*) override { return Hit("get_StorageType"); }
    HRESULT STDMETHODCALLTYPE get_StorageScheme(KW_STORAGE_SCHEME*) override { return Hit("get_StorageScheme"); }
    HRESULT STDMETHODCALLTYPE get_FileSize(VARIANT_BOOL, LONG*) override { return Hit("get_FileSize"); }
    HRESULT STDMETHODCALLTYPE get_CreationTime(VARIANT_BOOL, LONG*) override { return Hit("get_CreationTime"); }
    HRESULT STDMETHODCALLTYPE get_LastAccessTime(VARIANT_BOOL, LONG*) override { return Hit("get_LastAccessTime"); }
    HRESULT STDMETHODCALLTYPE get_LastWriteTime(VARIANT_BOOL, LONG*) override { return Hit("get_LastWriteTime"); }
    HRESULT STDMETHODCALLTYPE BindToStorageWrite(BSTR, KW_STORAGE_TYPE) override
    {
        return Hit("BindToStorageWrite");
    }
};

const KwInterfaceDescription& Described(const std::string& name)
{
    for (const auto& described : KwLibraryInterfaces())
        if (name == described.name) return described;
    throw std::runtime_error("no interface " + name);
}

// Every slot read from a member pointer (the table's), called through the raw
// vtable, must land in that member: the whole table of each mocked interface,
// and the IUnknown and IDispatch slots before it.
TEST(VtableSlots, MemberPointerReadingMatchesRawVtableCalls)
{
    MockFilter filter;
    MockEvents events;
    MockRasterData raster;
    MockDataObject data;
    struct Target {
        const char* itf;
        IUnknown* object;
        Recorder* recorder;
    } targets[] = {{"IKwFilter", &filter, &filter},
                   {"_IKwFilterEvents", &events, &events},
                   {"IKwSaveRasterData", &raster, &raster},
                   {"IKwDataObject", &data, &data}};
    for (const auto& t : targets) {
        for (const auto& m : Described(t.itf).members) {
            SCOPED_TRACE(std::string(t.itf) + "::" + m.name);
            // The mocks touch no argument, so the object alone is passed.
            t.recorder->called.clear();
            CallSlot<IUnknown>(t.object, m.cppSlot);
            EXPECT_EQ(t.recorder->called, m.name);
        }
    }
    CallSlot<IUnknown>(&filter, 2);
    EXPECT_EQ(filter.called, "Release");
    CallSlot<IUnknown>(&data, 6);
    EXPECT_EQ(data.called, "Invoke");
}

TEST(VtableSlots, SlotsFixedByTheContract)
{
    EXPECT_EQ(KwVtableSlot(&IKwFilter::GetNode), 4);
    EXPECT_EQ(KwVtableSlot(&IKwDataObject::BindToStorageWrite), 19);
    EXPECT_EQ(KwVtableSlot(&IKwDocument::ReleaseDoc), 31);
    EXPECT_EQ(KwVtableSlot(&IKwDocument::GetParent), 26);
    EXPECT_EQ(KwVtableSlot(&IKwFilters::GetSaveFilters), 38);
    EXPECT_EQ(KwVtableSlot(&IKwDescriptorNative::TransformPoints3F), 45);
    EXPECT_EQ(KwVtableSlot(&IKwSaveRasterData::AppendPolyClipRegion), 9);
    EXPECT_EQ(KwVtableSlot(&_IKwFilterEvents::Password), 7);

    // Host node interfaces outside the type library, at the positions the filters call.
    EXPECT_EQ(KwVtableSlot(&IKwDocument::PutAttribute), 12);
    EXPECT_EQ(KwVtableSlot(&IKwDocument::CreateChild), 18);
    EXPECT_EQ(KwVtableSlot(&IKwContents::PutAttribute), 12);
    EXPECT_EQ(KwVtableSlot(&IKwChildren::GetChild), 8);
    EXPECT_EQ(KwVtableSlot(&IKwChildren::CreateChild), 10);
    EXPECT_EQ(KwVtableSlot(&IKwContainer::PutAttribute), 12);
    EXPECT_EQ(KwVtableSlot(&IKwContainer::CreateChild), 18);
    EXPECT_EQ(KwVtableSlot(&IKwRasterBlock::EndObject), 16);
    EXPECT_EQ(KwVtableSlot(&IKwRasterBlock::CreateRasterStorage), 17);
    EXPECT_EQ(KwVtableSlot(&IKwRasterBlock::AddScanline1), 18);
    EXPECT_EQ(KwVtableSlot(&IKwAttribute::GetAttribute), 8);
    EXPECT_EQ(KwVtableSlot(&IKwAttribute::PutAttribute), 9);
    EXPECT_EQ(KwVtableSlot(&IKwDataObject::get_Storage), 10);
    EXPECT_EQ(KwVtableSlot(&IKwDataObject::get_StorageName), 11);
}

// The raster block's members take the parameters of IKwSaveRasterData.
TEST(VtableSlots, RasterBlockSharesTheRasterDataSignatures)
{
    EXPECT_EQ(KwIdlTypes(&IKwRasterBlock::CreateRasterStorage), KwIdlTypes(&IKwSaveRasterData::CreateRasterStorage));
    EXPECT_EQ(KwIdlTypes(&IKwRasterBlock::AddScanline1), KwIdlTypes(&IKwSaveRasterData::AddScanline1));
    EXPECT_EQ(KwIdlTypes(&IKwRasterBlock::AddScanline2), KwIdlTypes(&IKwSaveRasterData::AddScanline2));
}

}  // namespace
