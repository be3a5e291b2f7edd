// The last-resort guard around calls into scripts and foreign code: an
// access violation, an illegal instruction or an arithmetic trap inside the
// guarded call ends the call instead of the process (a division by zero is
// told from the others). Code that trips it skips the destructors
// of the frames it leaves, so our own code prevents faults by checking; this
// catches only what slips through.
#pragma once

#include <csetjmp>
#include <type_traits>

enum class ScriptFault { NoFault, Access, Division };

class ScriptFaultGuard {
public:
    // Runs fn(context) and answers which fault, if any, ended it.
    static ScriptFault Run(void (*fn)(void* context), void* context);

    template <class F>
    static ScriptFault Run(F&& f) {
        using Callable = std::remove_reference_t<F>;
        return Run([](void* c) { (*static_cast<Callable*>(c))(); }, const_cast<void*>(static_cast<const void*>(&f)));
    }
};
