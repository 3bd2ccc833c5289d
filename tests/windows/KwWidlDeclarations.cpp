// The tables of KwWidlDeclarations.h, from the lists that KwWidlLists.cmake
// takes out of the generated header: the compiler gives each entry its slot
// (offsetof in the C vtable struct), parameter count and value.
#define CINTERFACE
#include "KwWidlDeclarations.h"

#include <cstddef>

#include "interfaces/KwFilter_JPEG.h"
#include "KwWidlLists.h"

namespace {

template <class F> struct KwArity;
template <class R, class... A> struct KwArity<R(STDMETHODCALLTYPE*)(A...)> {
    static constexpr int Value = static_cast<int>(sizeof...(A)) - 1;
};

} // namespace

const std::vector<KwWidlInterface>& KwWidlInterfaces()
{
#define KW_INTERFACE_ROW(I) {#I, &IID_##I, static_cast<int>(sizeof(I##Vtbl) / sizeof(void*))},
    static const std::vector<KwWidlInterface> rows{KW_WIDL_INTERFACES(KW_INTERFACE_ROW)};
    return rows;
}

const std::vector<KwWidlMember>& KwWidlMembers()
{
#define KW_MEMBER_ROW(I, M)                                                                                            \
    {#I, #M, static_cast<int>(offsetof(I##Vtbl, M) / sizeof(void*)), KwArity<decltype(I##Vtbl::M)>::Value},
    static const std::vector<KwWidlMember> rows{KW_WIDL_MEMBERS(KW_MEMBER_ROW)};
    return rows;
}

const std::vector<KwWidlConstant>& KwWidlConstants()
{
#define KW_CONSTANT_ROW(E, C) {#E, #C, static_cast<int>(C)},
    static const std::vector<KwWidlConstant> rows{KW_WIDL_CONSTANTS(KW_CONSTANT_ROW)};
    return rows;
}
