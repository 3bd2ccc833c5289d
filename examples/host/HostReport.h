// Printing what a load left in the document: the same text from the Linux and
// the Windows example, so their outputs can be compared line by line. Needs the
// declarations of IKwAttribute, IKwDocument and the COM/Automation basics.
#pragma once

#include <cstdio>
#include <string>

// A BSTR as UTF-8.
inline std::string Utf8(BSTR text)
{
    if (!text) return std::string();
    int wide = static_cast<int>(SysStringLen(text));
    int size = WideCharToMultiByte(CP_UTF8, 0, text, wide, nullptr, 0, nullptr, nullptr);
    std::string out(size > 0 ? static_cast<size_t>(size) : 0, '\0');
    if (size > 0) WideCharToMultiByte(CP_UTF8, 0, text, wide, &out[0], size, nullptr, nullptr);
    return out;
}

// One line per attribute of `object` ("name = value"); a collection value
// (VT_DISPATCH answering IKwAttribute), such as "SummaryInformation", is
// printed indented below its name.
inline void PrintAttributes(const char* label, IUnknown* object, int depth = 0)
{
    IKwAttribute* attributes = nullptr;
    if (!object || FAILED(object->QueryInterface(IID_IKwAttribute, reinterpret_cast<void**>(&attributes)))) return;
    LONG count = 0;
    attributes->get_AttributeCount(&count);
    for (LONG i = 0; i < count; ++i) {
        BSTR name = nullptr;
        if (FAILED(attributes->GetAttributeName(i, &name))) continue;
        VARIANT value;
        VariantInit(&value);
        attributes->GetAttribute(name, nullptr, &value);
        std::printf("  %-10s %*s%s = ", depth ? "" : label, depth * 2, "", Utf8(name).c_str());
        switch (value.vt) {
        case VT_I2: std::printf("%d\n", value.iVal); break;
        case VT_I4: std::printf("%d\n", static_cast<int>(value.lVal)); break;
        case VT_R8: std::printf("%g\n", value.dblVal); break;
        case VT_BOOL: std::printf("%s\n", value.boolVal ? "true" : "false"); break;
        case VT_BSTR: std::printf("\"%s\"\n", Utf8(value.bstrVal).c_str()); break;
        case VT_ARRAY | VT_UI1: { // the colour profile
            LONG lower = 0, upper = -1;
            SafeArrayGetLBound(value.parray, 1, &lower);
            SafeArrayGetUBound(value.parray, 1, &upper);
            std::printf("(%d bytes)\n", static_cast<int>(upper - lower + 1));
            break;
        }
        case VT_DISPATCH:
            std::printf("(collection)\n");
            if (depth < 4) PrintAttributes(label, value.pdispVal, depth + 1);
            break;
        default: std::printf("(type %d)\n", value.vt); break;
        }
        VariantClear(&value);
        SysFreeString(name);
    }
    attributes->Release();
}
