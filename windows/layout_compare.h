// How the layout checks compare a host declaration with the platform's:
// records field by field (offset, size, signedness), services by calling
// convention and argument sizes. The host declarations live in namespace
// hostdecl, the platform's at global scope; nothing here emits code.
#pragma once

#include <stddef.h>

namespace {

// 1 for signed integers, 2 for unsigned ones, 0 for anything else; arrays
// as their elements.
template <class T> struct Sign {
  static constexpr int value = 0;
};
template <class T, size_t N> struct Sign<T[N]> : Sign<T> {};
#define DRV_SIGN_OF(T)                                                       \
  template <> struct Sign<T> {                                               \
    static constexpr int value = static_cast<T>(-1) < static_cast<T>(0) ? 1 : 2; \
  };
DRV_SIGN_OF(char)
DRV_SIGN_OF(signed char)
DRV_SIGN_OF(unsigned char)
DRV_SIGN_OF(short)
DRV_SIGN_OF(unsigned short)
DRV_SIGN_OF(int)
DRV_SIGN_OF(unsigned int)
DRV_SIGN_OF(long)
DRV_SIGN_OF(unsigned long)
DRV_SIGN_OF(long long)
DRV_SIGN_OF(unsigned long long)
DRV_SIGN_OF(wchar_t)
DRV_SIGN_OF(char16_t)
#undef DRV_SIGN_OF

}  // namespace

#define DRV_SAME_FIELD(R, f)                                                 \
  static_assert(offsetof(hostdecl::R, f) == offsetof(::R, f), #R "." #f ": offset differs"); \
  static_assert(sizeof(hostdecl::R::f) == sizeof(::R::f), #R "." #f ": size differs"); \
  static_assert(Sign<decltype(hostdecl::R::f)>::value == Sign<decltype(::R::f)>::value, \
                #R "." #f ": signedness differs");
#define DRV_FIELD_BYTES(R, f) +sizeof(hostdecl::R::f)

// Each record's fields sum to its size (the records have no padding), so a
// host field missing from a list below fails too.
#define DRV_SAME_RECORD(R, FIELDS)                                           \
  FIELDS(DRV_SAME_FIELD)                                                     \
  static_assert(0 FIELDS(DRV_FIELD_BYTES) == sizeof(hostdecl::R),            \
                #R ": a host field is not compared");                        \
  static_assert(sizeof(hostdecl::R) == sizeof(::R), #R ": size differs");

namespace {

template <class R> constexpr size_t ResultBytes() {
  if constexpr (__is_same(R, void)) {
    return 0;
  } else {
    return sizeof(R);
  }
}

// A service's calling convention and argument sizes: a stdcall callee pops
// its own arguments, so any difference here unbalances the caller's stack.
template <class F> struct Call {
  static constexpr bool is_stdcall = false;
};
template <class R, class... A> struct Call<R __attribute__((stdcall))(A...)> {
  static constexpr bool is_stdcall = true;
  static constexpr size_t count = sizeof...(A);
  static constexpr size_t sizes[sizeof...(A) + 1] = {sizeof(A)..., 0};
  static constexpr size_t result = ResultBytes<R>();
};

template <class H, class P> constexpr bool SameCall() {
  if constexpr (!Call<H>::is_stdcall || !Call<P>::is_stdcall) {
    return false;
  } else {
    if (Call<H>::count != Call<P>::count || Call<H>::result != Call<P>::result) return false;
    for (size_t i = 0; i < Call<H>::count; ++i) {
      if (Call<H>::sizes[i] != Call<P>::sizes[i]) return false;
    }
    return true;
  }
}

}  // namespace

#define DRV_SAME_SERVICE(name)                                               \
  static_assert(SameCall<decltype(hostdecl::name), decltype(::name)>(),      \
                #name ": calling convention or arguments differ");
