// The host's functions that a loaded platform image calls (the services its
// imports are bound to, and the callbacks the host hands it), in the form
// that image's code may call them.
//
// On 32-bit x86 and x86-64 the functions are declared in the platform's
// convention (APIENTRY: stdcall, or the platform's own x64 one), and the
// compiler does the rest.
//
// On ARM64 the platform's convention is AAPCS64, the convention Linux uses
// there, for every call with fixed arguments: x0-x7 and v0-v7 carry the
// arguments, x8 the address of a large result; x19-x28, the frame pointer
// and the low halves of v8-v15 survive a call; the stack stays aligned to
// 16 bytes. It differs in two places:
// - Variadic calls: the platform passes every variadic argument, floating
//   point ones included, in x0-x7 and then on the stack, never in v0-v7,
//   and its va_list is a plain pointer into that stack, where AAPCS64's is
//   a record of five fields. A host function that is variadic or takes a
//   va_list would read the wrong registers or the wrong record, so none may
//   be handed to a platform image: Preserving refuses to compile one.
// - x18: the platform keeps the thread's environment block in it, and no
//   function may change it; on Linux it is an ordinary temporary that
//   library code compiled without -ffixed-x18 may use. The host's own code
//   is built with -ffixed-x18 and never touches it, and every function an
//   image calls goes through Preserving, which puts it back after the call.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <type_traits>

#include "engine/engine.h"

namespace host {

#if defined(__aarch64__)
template <auto Function>
struct Preserving {
  static_assert(sizeof(Function) == 0,
                "not a function of fixed arguments: a variadic function cannot be called "
                "from a platform image, which passes variadic arguments otherwise");
};

template <typename Result, typename... Arguments, Result (*Function)(Arguments...)>
struct Preserving<Function> {
  static_assert((!std::is_same_v<std::decay_t<Arguments>, va_list> && ...),
                "a platform image's va_list is a plain pointer, not this build's va_list");

  static Result Call(Arguments... arguments) {
    uint64_t x18;
    asm volatile("mov %0, x18" : "=r"(x18));
    if constexpr (std::is_void_v<Result>) {
      Function(arguments...);
      asm volatile("mov x18, %0" : : "r"(x18));
    } else {
      Result result = Function(arguments...);
      asm volatile("mov x18, %0" : : "r"(x18));
      return result;
    }
  }
};
#endif

// Function as a platform image may call it: itself on x86, through
// Preserving on ARM64.
template <auto Function>
constexpr decltype(Function) PlatformCallable() {
#if defined(__aarch64__)
  return &Preserving<Function>::Call;
#else
  return Function;
#endif
}

}  // namespace host
