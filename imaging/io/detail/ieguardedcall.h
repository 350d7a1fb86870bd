// The one place the C image libraries' error exits land: a call made through IEGuardedCall comes
// back false when the library jumped out of it instead of returning.
#pragma once

#include <csetjmp>

namespace imaging::detail {

// Runs Step(Ctx) with Jump set to come back here. Neither this frame nor any frame between it and
// the jump (Step, the library, our callbacks) may hold an object with a destructor, so the jump
// skips no clean-up; Step therefore only calls the library on plain data. Never inlined: a frame
// that calls setjmp must stay a frame of its own.
template <class Ctx>
[[gnu::noinline]] bool IEGuardedCall(std::jmp_buf& Jump, void (*Step)(Ctx&), Ctx& Context)
{
    if (setjmp(Jump) != 0)
        return false;
    Step(Context);
    return true;
}

}  // namespace imaging::detail
