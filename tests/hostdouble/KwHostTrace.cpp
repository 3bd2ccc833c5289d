#include "KwHostTrace.h"

#include <algorithm>
#include <string>
#include <string_view>

#include "com/KwAutomation.h"
#include "engine/KwHostDataObject.h"
#include "KwHostDoubleContext.h"
#include "engine/KwHostStream.h"
#include "engine/KwHostVariant.h"

namespace {

// What the switches did inside the traced call running on this thread.
struct KwCallState {
    bool Forced = false;  // a fault or a switch chose the result
    bool Refused = false; // CreateChild refused the object type
};
thread_local KwCallState* t_Call = nullptr;

KwHostDoubleContext& Double(KwHostObject& object) { return static_cast<KwHostDoubleContext&>(object.Context()); }

// A copy that keeps no object alive: interface values keep their type but not
// the object; what the host keeps no copy of becomes VT_EMPTY.
KwHostVariant Detached(const VARIANT& value)
{
    if (!KwHostVariant::Keeps(value.vt)) return KwHostVariant();
    if (value.vt == VT_DISPATCH || value.vt == VT_UNKNOWN) {
        VARIANT typeOnly;
        VariantInit(&typeOnly);
        typeOnly.vt = value.vt;
        typeOnly.punkVal = nullptr;
        return KwHostVariant(typeOnly);
    }
    return KwHostVariant(value);
}

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

bool Failing(ULONG call, ULONG at, ULONG count) noexcept
{
    if (at == 0 || call < at) return false;
    return count == 0 || call - at < count;
}

// Runs one traced call of `method` on `object`: `describe` fills the record
// before the method's work, `finish` after it (it may change the result) and
// gives the details of the readable line.
template <class Describe, class Finish>
HRESULT Trace(KwHostObject& object, const char* method, const KwHostBody& body, Describe describe, Finish finish)
{
    KwHostCall call;
    try {
        call = KwHostCall(KwHostTrace::Label(object), method);
        describe(call);
    } catch (...) {
        return E_OUTOFMEMORY;
    }
    KwCallState state;
    KwCallState* outer = t_Call;
    t_Call = &state;
    HRESULT hr;
    try {
        hr = body();
    } catch (...) {
        t_Call = outer;
        throw;
    }
    t_Call = outer;
    std::string details;
    try {
        details = finish(call, hr, state);
    } catch (...) {
        return hr; // a log that cannot grow loses the entry; the call itself stands
    }
    return Double(object).Record(call, details, hr);
}

// A call whose line shows the same details whatever the result.
template <class Describe>
HRESULT TraceFixed(KwHostObject& object, const char* method, const KwHostBody& body, Describe describe)
{
    std::string details;
    return Trace(
        object, method, body, [&](KwHostCall& call) { details = describe(call); },
        [&](KwHostCall&, HRESULT&, const KwCallState&) { return details; });
}

} // namespace

HRESULT KwHostTrace::AttributeCount(const KwHostBody& body, KwHostObject& object, LONG* Count)
{
    return Trace(
        object, "AttributeCount", body, [](KwHostCall&) {},
        [&](KwHostCall& call, HRESULT& hr, const KwCallState& state) {
            if (FAILED(hr) || state.Forced) return std::string();
            call.Args = {*Count};
            return std::to_string(*Count);
        });
}

HRESULT KwHostTrace::GetAttribute(const KwHostBody& body, KwHostObject& object, BSTR Name, VARIANT* Type,
                                  VARIANT* Value)
{
    std::string details;
    return Trace(
        object, "GetAttribute", body,
        [&](KwHostCall& call) {
            call.Name = KwNarrow(Name);
            details = Quoted(call.Name) + (Type ? ", Type" : "");
        },
        [&](KwHostCall& call, HRESULT& hr, const KwCallState& state) {
            if (FAILED(hr) || state.Forced) return details;
            call.Value = Detached(*Value);
            if (Type) call.Type = Type->lVal;
            return details + " = " + KwHostVariant::Describe(*Value);
        });
}

HRESULT KwHostTrace::PutAttribute(const KwHostBody& body, KwHostObject& object, BSTR Name, const VARIANT& Value,
                                  LONG Type)
{
    return TraceFixed(object, "PutAttribute", body, [&](KwHostCall& call) {
        call.Name = KwNarrow(Name);
        call.Type = Type;
        call.Value = Detached(Value);
        return Quoted(call.Name) + ", " + KwHostVariant::Describe(Value) + ", Type " + std::to_string(Type);
    });
}

HRESULT KwHostTrace::RemoveAttribute(const KwHostBody& body, KwHostObject& object, BSTR Name)
{
    return TraceFixed(object, "RemoveAttribute", body, [&](KwHostCall& call) { return call.Name = KwNarrow(Name); });
}

HRESULT KwHostTrace::RemoveAllAttributes(const KwHostBody& body, KwHostObject& object)
{
    return TraceFixed(object, "RemoveAllAttributes", body, [](KwHostCall&) { return std::string(); });
}

HRESULT KwHostTrace::GetAttributeName(const KwHostBody& body, KwHostObject& object, LONG Position, BSTR* Name)
{
    return Trace(
        object, "GetAttributeName", body, [&](KwHostCall& call) { call.Args = {Position}; },
        [&](KwHostCall& call, HRESULT& hr, const KwCallState& state) {
            std::string details = std::to_string(Position);
            if (FAILED(hr) || state.Forced) return details;
            call.Name = KwNarrow(*Name);
            return details + " = " + Quoted(call.Name);
        });
}

HRESULT KwHostTrace::GetChild(const KwHostBody& body, KwHostObject& object, const VARIANT& Index,
                              VARIANT* Descriptor, VARIANT* ParentIndex, IDispatch** Child)
{
    return TraceFixed(object, "GetChild", body, [&](KwHostCall& call) {
        call.Name = KwHostVariant::IndexText(Index);
        if (Child) call.Index = Detached(Index);
        return call.Name + (Descriptor ? ", Descriptor" : "") + (ParentIndex ? ", ParentIndex" : "");
    });
}

HRESULT KwHostTrace::AddChild(const KwHostBody& body, KwHostObject& object, const VARIANT& Index, IDispatch*,
                              VARIANT_BOOL Protected, VARIANT*)
{
    return TraceFixed(object, "AddChild", body, [&](KwHostCall& call) {
        call.Name = KwHostVariant::IndexText(Index);
        call.Flag = Protected;
        return call.Name + ", Protected " + std::to_string(Protected);
    });
}

HRESULT KwHostTrace::CreateChild(const KwHostBody& body, KwHostObject& object, const VARIANT& Index,
                                 const VARIANT& Type, VARIANT_BOOL Protected, VARIANT* Descriptor, IDispatch**)
{
    std::string details;
    return Trace(
        object, "CreateChild", body,
        [&](KwHostCall& call) {
            call.Name = KwHostVariant::IndexText(Index);
            call.Flag = Protected;
            LONGLONG type = 0;
            call.Type = KwHostVariant::AsInteger(Type, &type) ? static_cast<LONG>(type) : 0;
            call.Index = Detached(Index);
            call.Value = Detached(Type);
            details = call.Name + ", " + KwHostVariant::Describe(Type) + ", Protected " + std::to_string(Protected) +
                      (Descriptor ? ", Descriptor" : "");
        },
        [&](KwHostCall&, HRESULT&, const KwCallState& state) { return state.Refused ? details + ", refused" : details; });
}

HRESULT KwHostTrace::RemoveChild(const KwHostBody& body, KwHostObject& object, const VARIANT& Index)
{
    return TraceFixed(object, "RemoveChild", body,
                      [&](KwHostCall& call) { return call.Name = KwHostVariant::IndexText(Index); });
}

HRESULT KwHostTrace::RemoveAllChildren(const KwHostBody& body, KwHostObject& object)
{
    return TraceFixed(object, "RemoveAllChildren", body, [](KwHostCall&) { return std::string(); });
}

HRESULT KwHostTrace::AttachToStorage(const KwHostBody& body, KwHostObject& object, IUnknown* Storage)
{
    return Trace(
        object, "AttachToStorage", body, [](KwHostCall&) {},
        [&](KwHostCall&, HRESULT&, const KwCallState& state) {
            return std::string(state.Forced ? "" : Storage ? "storage" : "null");
        });
}

HRESULT KwHostTrace::Bind(const KwHostBody& body, KwHostObject& object, BSTR DisplayName, const char* method)
{
    return TraceFixed(object, method, body, [&](KwHostCall& call) { return call.Name = KwNarrow(DisplayName); });
}

HRESULT KwHostTrace::ResetStorage(const KwHostBody& body, KwHostObject& object)
{
    return TraceFixed(object, "ResetStorage", body, [](KwHostCall&) { return std::string(); });
}

HRESULT KwHostTrace::Storage(const KwHostBody& body, KwHostDataObject& object, IUnknown** Storage)
{
    return Trace(
        object, "Storage", body, [](KwHostCall&) {},
        [&](KwHostCall&, HRESULT& hr, const KwCallState& state) {
            bool none = hr == E_FAIL && Storage && !state.Forced && !object.Storage();
            return std::string(none ? "none" : "");
        });
}

HRESULT KwHostTrace::StorageName(const KwHostBody& body, KwHostObject& object, BSTR* StorageName)
{
    return Trace(
        object, "StorageName", body, [](KwHostCall&) {},
        [&](KwHostCall& call, HRESULT& hr, const KwCallState& state) {
            if (FAILED(hr) || state.Forced) return std::string();
            if (!*StorageName) return std::string("null");
            return call.Name = KwNarrow(*StorageName);
        });
}

HRESULT KwHostTrace::EndObject(const KwHostBody& body, KwHostObject& object)
{
    return Trace(
        object, "EndObject", body, [](KwHostCall&) {},
        [&](KwHostCall&, HRESULT& hr, const KwCallState& state) {
            if (!state.Forced) hr = Double(object).Switches().EndObjectResult;
            return std::string();
        });
}

HRESULT KwHostTrace::CreateRasterStorage(const KwHostBody& body, KwHostObject& object, LONG Width, LONG Height,
                                         LONG BitsPerPixel, LONG DpiX, LONG DpiY, BSTR Compression, LONG NoColors,
                                         LONG* ColorTable)
{
    return TraceFixed(object, "CreateRasterStorage", body, [&](KwHostCall& call) {
        call.Name = KwNarrow(Compression);
        call.Args = {Width, Height, BitsPerPixel, DpiX, DpiY, NoColors};
        return std::to_string(Width) + ", " + std::to_string(Height) + ", " + std::to_string(BitsPerPixel) + ", " +
               std::to_string(DpiX) + ", " + std::to_string(DpiY) + ", " + Quoted(call.Name) + ", " +
               std::to_string(NoColors) + (ColorTable ? ", table" : ", null");
    });
}

HRESULT KwHostTrace::AddScanline1(const KwHostBody& body, KwHostObject& object, LONG DataType, LONG StartLine,
                                  LONG NoLines, LONG BytesPerLine)
{
    // The one host call made per row band: with the log off (long runs, the
    // fuzzers) it neither formats nor keeps a record.
    KwHostDoubleContext& context = Double(object);
    if (!context.Log().Enabled()) return body();
    return Trace(
        object, "AddScanline1", body,
        [&](KwHostCall& call) { call.Args = {DataType, StartLine, NoLines, BytesPerLine}; },
        [&](KwHostCall&, HRESULT& hr, const KwCallState&) {
            context.ScanlineCalls(object).push_back({DataType, StartLine, NoLines, BytesPerLine, hr});
            return std::to_string(DataType) + ", " + std::to_string(StartLine) + ", " + std::to_string(NoLines) +
                   ", " + std::to_string(BytesPerLine);
        });
}

HRESULT KwHostTrace::Progress(const KwHostBody& body, KwHostObject& object, LONG Progress, VARIANT_BOOL* Abort)
{
    return Trace(
        object, "Progress", body, [&](KwHostCall& call) { call.Args = {Progress}; },
        [&](KwHostCall& call, HRESULT&, const KwCallState&) {
            std::string details = std::to_string(Progress);
            if (!Abort) return details;
            call.Args.push_back(*Abort);
            return details + ", abort " + std::to_string(*Abort);
        });
}

HRESULT KwHostTrace::Read(const KwHostBody& body, KwHostStream& stream, const void* pv, ULONG cb, ULONG& limit,
                          ULONG& done)
{
    KwHostStreamDouble* kept = nullptr;
    const bool pointerValid = pv || cb == 0; // the switches apply only past the pointer check
    ULONG unended = cb;
    bool failing = false;
    return Trace(
        stream, "Read", body,
        [&](KwHostCall&) {
            kept = &Double(stream).Stream(stream);
            const KwHostStreamSwitches& s = kept->m_Switches;
            ++kept->m_ReadCalls;
            if (!pointerValid) return;
            if (s.MaxReadPerCall != 0) limit = std::min(limit, s.MaxReadPerCall);
            // S_FALSE tells the end of the data (or of what the stream will deliver);
            // a read merely cut short by the per-call limit is S_OK.
            unended = limit;
            if (s.ReadLimitTotal >= 0) {
                ULONGLONG total = static_cast<ULONGLONG>(s.ReadLimitTotal);
                ULONGLONG left = total > kept->m_Delivered ? total - kept->m_Delivered : 0;
                if (left < limit) limit = static_cast<ULONG>(left);
            }
            failing = Failing(kept->m_ReadCalls, s.FailReadAtCall, s.FailReadCalls);
            if (failing) limit = std::min(limit, s.FailReadBytes);
        },
        [&](KwHostCall& call, HRESULT& hr, const KwCallState& state) {
            if (pointerValid && !state.Forced && stream.Readable()) {
                if (failing)
                    hr = kept->m_Switches.FailReadResult;
                else if (SUCCEEDED(hr))
                    hr = done < unended ? S_FALSE : S_OK;
            }
            kept->m_Delivered += done;
            kept->m_Reads.push_back({cb, done, hr});
            call.Args = {cb, done};
            return std::to_string(cb) + " bytes, " + std::to_string(done) + " read";
        });
}

HRESULT KwHostTrace::Write(const KwHostBody& body, KwHostStream& stream, const void* pv, ULONG cb, ULONG& accept,
                           ULONG& done)
{
    KwHostStreamDouble* kept = nullptr;
    const bool pointerValid = pv || cb == 0;
    bool failing = false;
    bool cut = false;
    return Trace(
        stream, "Write", body,
        [&](KwHostCall&) {
            kept = &Double(stream).Stream(stream);
            const KwHostStreamSwitches& s = kept->m_Switches;
            ++kept->m_WriteCalls;
            if (!pointerValid) return;
            failing = Failing(kept->m_WriteCalls, s.FailWriteAtCall, s.FailWriteCalls);
            cut = !failing && s.WriteAcceptMax >= 0 && static_cast<ULONGLONG>(s.WriteAcceptMax) < cb;
            if (failing)
                accept = 0; // nothing is written
            else if (cut)
                accept = static_cast<ULONG>(s.WriteAcceptMax);
        },
        [&](KwHostCall& call, HRESULT& hr, const KwCallState& state) {
            if (pointerValid && !state.Forced && stream.Writable()) {
                if (failing)
                    hr = kept->m_Switches.FailWriteResult;
                else if (SUCCEEDED(hr) && cut)
                    hr = kept->m_Switches.ShortWriteResult;
            }
            kept->m_Writes.push_back({cb, done, hr});
            call.Args = {cb, done};
            return std::to_string(cb) + " bytes, " + std::to_string(done) + " written";
        });
}

HRESULT KwHostTrace::Seek(const KwHostBody& body, KwHostStream& stream, LARGE_INTEGER dlibMove, DWORD dwOrigin)
{
    return TraceFixed(stream, "Seek", body, [&](KwHostCall& call) {
        ++Double(stream).Stream(stream).m_Seeks;
        call.Args = {dlibMove.QuadPart, static_cast<LONGLONG>(dwOrigin)};
        return std::to_string(dlibMove.QuadPart) + ", origin " + std::to_string(dwOrigin);
    });
}

HRESULT KwHostTrace::SetSize(const KwHostBody& body, KwHostStream& stream, ULARGE_INTEGER libNewSize)
{
    return TraceFixed(stream, "SetSize", body, [&](KwHostCall& call) {
        call.Args = {static_cast<LONGLONG>(libNewSize.QuadPart)};
        return std::to_string(libNewSize.QuadPart);
    });
}

HRESULT KwHostTrace::Stat(const KwHostBody& body, KwHostStream& stream, STATSTG* pstatstg, DWORD grfStatFlag)
{
    return Trace(
        stream, "Stat", body, [&](KwHostCall& call) { call.Args = {static_cast<LONGLONG>(grfStatFlag)}; },
        [&](KwHostCall& call, HRESULT& hr, const KwCallState& state) {
            std::string details = "flags " + std::to_string(grfStatFlag);
            if (FAILED(hr) || state.Forced) return details;
            call.Args.push_back(static_cast<LONGLONG>(pstatstg->cbSize.QuadPart));
            return details + ", size " + std::to_string(pstatstg->cbSize.QuadPart);
        });
}

bool KwHostTrace::Fault(KwHostObject& object, const char* method, bool counted, HRESULT* result) noexcept
{
    KwHostDoubleContext& context = Double(object);
    HRESULT forced = S_OK;
    bool fails = counted && context.InjectFailure(method, &forced);
    if (!fails) {
        // The switches that force one method's answer, checked after the count.
        const KwHostSwitches& s = context.Switches();
        const std::string_view name(method);
        if (name == "GetAttribute") {
            forced = s.GetAttributeResult;
        } else if (name == "CreateRasterStorage") {
            forced = s.CreateRasterStorageResult;
        } else if (name == "CreateInstance") {
            forced = s.AttributeCreateResult;
        } else if (name == "Seek" || name == "Stat") {
            try {
                const KwHostStreamSwitches& stream = context.Stream(object).Switches();
                forced = name == "Seek" ? stream.SeekResult : stream.StatResult;
            } catch (...) {
                return false;
            }
        }
        fails = FAILED(forced);
    }
    if (!fails) return false;
    if (t_Call) t_Call->Forced = true;
    *result = forced;
    return true;
}

bool KwHostTrace::Refusal(KwHostObject& object, LONG objectType, HRESULT* result) noexcept
{
    const KwHostChildRefusal* refusal = Double(object).Switches().Refusal(objectType);
    if (!refusal) return false;
    if (t_Call) t_Call->Refused = true;
    *result = refusal->Result;
    return true;
}

bool KwHostTrace::Omits(KwHostObject& object, REFIID riid) noexcept
{
    return Double(object).Switches().IsOmitted(object.ObjectType(), riid);
}

bool KwHostTrace::HidesAttributeClass(KwHostContext& context) noexcept
{
    return static_cast<KwHostDoubleContext&>(context).Switches().AttributeClassUnavailable;
}

const std::string& KwHostTrace::Label(const KwHostObject& object) noexcept
{
    static const std::string none;
    const auto* labelled = dynamic_cast<const KwHostLabelled*>(&object);
    return labelled ? labelled->Label() : none;
}

void KwHostTrace::Place(const KwHostObject& parent, const VARIANT& index, IDispatch* child) noexcept
{
    auto* labelled = dynamic_cast<KwHostLabelled*>(child);
    if (!labelled) return;
    try {
        labelled->SetLabel(Label(parent) + "/" + KwHostVariant::IndexText(index));
    } catch (...) {
        // Left with its class's name; the call itself stands.
    }
}

void KwHostTrace::Gone(KwHostObject& object) noexcept { Double(object).Forget(object); }
