// The interfaces that widl generates from the IDL, checked at compile time
// against the contract (KwInterfaceContract.h): each member's vtable slot and
// parameter types, the number of slots, the enumeration values and the record
// layouts. The slots are read from widl's C view of the vtables, which it lays
// out from the same declarations, in the same order, as the C++ classes.
#define CINTERFACE
#include "KwFilter_JPEG.h"

#include <cstddef>
#include <type_traits>

#include "KwInterfaceContract.h"

namespace {

// The vtable entry of a member of interface I with the parameters of F = void(...).
template <class I, class F> struct KwVtableEntry;
template <class I, class... A> struct KwVtableEntry<I, void(A...)> {
    using Type = HRESULT(STDMETHODCALLTYPE*)(I*, A...);
    static constexpr std::size_t Parameters = sizeof...(A);
};

#define KW_CHECK_MEMBER(I, M, Slot, Dispid, Directions, Types)                                                      \
    static_assert(offsetof(I##Vtbl, M) == (Slot) * sizeof(void*), #I "::" #M " sits in slot " #Slot);             \
    static_assert(std::is_same_v<decltype(I##Vtbl::M), KwVtableEntry<I, void Types>::Type>,                       \
                  #I "::" #M " takes the parameters " #Types);                                                      \
    static_assert(sizeof(Directions) - 1 == KwVtableEntry<I, void Types>::Parameters,                              \
                  #I "::" #M ": one direction per parameter");
KW_CONTRACT_MEMBERS(KW_CHECK_MEMBER)

#define KW_CHECK_INTERFACE(I, Base, LastSlot, HelpString)                                                           \
    static_assert(sizeof(I##Vtbl) == ((LastSlot) + 1) * sizeof(void*), #I " ends at slot " #LastSlot);
KW_CONTRACT_INTERFACES(KW_CHECK_INTERFACE)

// A host may pass any 32-bit value for an enumeration: each is an int underneath.
#define KW_CHECK_CONSTANT(E, C, Value)                                                                              \
    static_assert(std::is_same_v<decltype(C), E> && C == (Value), #E "::" #C " = " #Value);                        \
    static_assert(std::is_same_v<std::underlying_type_t<E>, int>, #E " is an int underneath");
KW_CONTRACT_CONSTANTS(KW_CHECK_CONSTANT)

static_assert(sizeof(RECT) == 16 && offsetof(RECT, left) == 0 && offsetof(RECT, top) == 4 &&
                  offsetof(RECT, right) == 8 && offsetof(RECT, bottom) == 12,
              "RECT layout");
static_assert(sizeof(RECTD) == 32 && offsetof(RECTD, left) == 0 && offsetof(RECTD, top) == 8 &&
                  offsetof(RECTD, right) == 16 && offsetof(RECTD, bottom) == 24,
              "RECTD layout");
static_assert(sizeof(CUBE) == 48 && offsetof(CUBE, minX) == 0 && offsetof(CUBE, maxX) == 8 &&
                  offsetof(CUBE, minY) == 16 && offsetof(CUBE, maxY) == 24 && offsetof(CUBE, minZ) == 32 &&
                  offsetof(CUBE, maxZ) == 40,
              "CUBE layout");

} // namespace
