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
#define DRV_FIELD_SPAN(R, f)                                                 \
  FieldSpan{offsetof(hostdecl::R, f), sizeof(hostdecl::R::f), alignof(decltype(hostdecl::R::f))},

// Each record's listed fields, in order, cover it with nothing between them
// but the padding their alignment asks for (none on 32-bit x86, some before
// pointers on x86-64), so a host field missing from a list fails too.
#define DRV_SAME_RECORD(R, FIELDS)                                           \
  FIELDS(DRV_SAME_FIELD)                                                     \
  namespace {                                                                \
  constexpr FieldSpan kSpans##R[] = {FIELDS(DRV_FIELD_SPAN)};                \
  }                                                                          \
  static_assert(CoversRecord(kSpans##R, sizeof(hostdecl::R), alignof(hostdecl::R)), \
                #R ": a host field is not compared");                        \
  static_assert(sizeof(hostdecl::R) == sizeof(::R), #R ": size differs");

namespace {

struct FieldSpan {
  size_t offset;
  size_t size;
  size_t align;
};

constexpr size_t AlignUp(size_t n, size_t align) { return (n + align - 1) / align * align; }

template <size_t N>
constexpr bool CoversRecord(const FieldSpan (&spans)[N], size_t record_size, size_t record_align) {
  size_t end = 0;
  for (const FieldSpan& span : spans) {
    if (span.offset != AlignUp(end, span.align)) return false;
    end = span.offset + span.size;
  }
  return AlignUp(end, record_align) == record_size;
}

template <class R> constexpr size_t ResultBytes() {
  if constexpr (__is_same(R, void)) {
    return 0;
  } else {
    return sizeof(R);
  }
}

// A service's calling convention and argument sizes: a stdcall callee pops
// its own arguments, so any difference here unbalances the caller's stack.
// x86-64 has the platform's one convention, which a type does not spell.
#if defined(__i386__)
#define DRV_PLATFORM_CALL __attribute__((stdcall))
#else
#define DRV_PLATFORM_CALL
#endif
template <class F> struct Call {
  static constexpr bool is_platform_call = false;
};
template <class R, class... A> struct Call<R DRV_PLATFORM_CALL(A...)> {
  static constexpr bool is_platform_call = true;
  static constexpr size_t count = sizeof...(A);
  static constexpr size_t sizes[sizeof...(A) + 1] = {sizeof(A)..., 0};
  static constexpr size_t result = ResultBytes<R>();
};

template <class H, class P> constexpr bool SameCall() {
  if constexpr (!Call<H>::is_platform_call || !Call<P>::is_platform_call) {
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
