// A copyable VARIANT: the host keeps copies of the values handed to it
// (attribute values, child indexes).
#pragma once

#include <string>
#include <vector>

#include "KwPlatform.h"

class KwHostVariant {
public:
    KwHostVariant() noexcept;
    // Copies the value (a BSTR or a byte array is duplicated, an interface gets a
    // reference of its own). Throws std::bad_alloc when the copy cannot be made
    // or the value is one the host does not keep (see Keeps).
    explicit KwHostVariant(const VARIANT& value);
    KwHostVariant(const KwHostVariant& other);
    KwHostVariant(KwHostVariant&& other) noexcept;
    KwHostVariant& operator=(const KwHostVariant& other);
    KwHostVariant& operator=(KwHostVariant&& other) noexcept;
    ~KwHostVariant();

    static KwHostVariant I2(SHORT v);
    static KwHostVariant I4(LONG v);
    static KwHostVariant R8(double v);
    static KwHostVariant Bool(bool v);
    static KwHostVariant Text(const std::string& utf8);

    const VARIANT& Get() const noexcept { return m_Value; }
    VARTYPE Type() const noexcept { return m_Value.vt; }
    // Copies the value into a caller's VARIANT, which is overwritten without being cleared.
    HRESULT CopyTo(VARIANT* out) const noexcept;

    // The value as text without its type ("2", "JPEG", "true", "300.0000").
    std::string ValueText() const { return ValueText(m_Value); }
    // The value with its type ("VT_I4 2", "VT_BSTR \"JPEG\"").
    std::string Describe() const { return Describe(m_Value); }

    // What the host keeps as a value: anything but a reference to the caller's
    // memory, and of arrays only a byte vector (VT_ARRAY | VT_UI1).
    static bool Keeps(VARTYPE vt) noexcept;
    // The bytes of a VT_ARRAY | VT_UI1 value; false for other values.
    static bool Bytes(const VARIANT& value, std::vector<unsigned char>* out);
    // An integer view of VT_I1/I2/I4/I8/UI1/UI2/UI4/INT/UINT values; false for other types.
    static bool AsInteger(const VARIANT& value, LONGLONG* out) noexcept;
    static bool IsText(const VARIANT& value) noexcept { return value.vt == VT_BSTR; }
    // Child indexes compare by value: integers as integers, texts as texts; a
    // null BSTR is the empty text.
    static bool IndexEqual(const VARIANT& a, const VARIANT& b) noexcept;
    // An index as object labels show it: "\"Contents\"", "1".
    static std::string IndexText(const VARIANT& index);
    static std::string ValueText(const VARIANT& value);
    static std::string Describe(const VARIANT& value);
    static const char* TypeName(VARTYPE vt) noexcept;
    // Text of a BSTR (UTF-8); a null BSTR is "".
    static std::string Narrow(const OLECHAR* text);

private:
    VARIANT m_Value;
};
