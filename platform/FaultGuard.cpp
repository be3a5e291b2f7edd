#include "FaultGuard.h"

#include <signal.h>

#include <cstdlib>
#include <mutex>
#include <vector>

namespace {

thread_local sigjmp_buf* t_jump = nullptr;

// What a guarded call answers for a signal: a division by zero (integer,
// or floating point where a library unmasked its trap) or any other fault.
constexpr int kJumpAccess = 1;
constexpr int kJumpDivision = 2;

void OnFault(int sig, siginfo_t* info, void*) {
    if (t_jump) {
        const bool division = sig == SIGFPE && info && (info->si_code == FPE_INTDIV || info->si_code == FPE_FLTDIV);
        siglongjmp(*t_jump, division ? kJumpDivision : kJumpAccess);
    }
    // Not inside a guarded call: the default action (a crash report).
    signal(sig, SIG_DFL);
    raise(sig);
}

// Each thread that runs guarded calls gets its own signal stack, so a fault
// from a stack overflow can still be handled.
void EnsureAltStack() {
    thread_local std::vector<char> stack;
    if (!stack.empty()) return;
    // A stack someone else installed (a sanitizer's) stays theirs.
    stack_t current{};
    if (sigaltstack(nullptr, &current) == 0 && !(current.ss_flags & SS_DISABLE)) return;
    stack.resize(64 * 1024);
    stack_t ss{};
    ss.ss_sp = stack.data();
    ss.ss_size = stack.size();
    ss.ss_flags = 0;
    sigaltstack(&ss, nullptr);
}

void InstallHandlers() {
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction sa {};
        sa.sa_sigaction = OnFault;
        sa.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_NODEFER;
        sigemptyset(&sa.sa_mask);
        for (int sig : {SIGSEGV, SIGBUS, SIGILL, SIGFPE}) sigaction(sig, &sa, nullptr);
    });
}

}  // namespace

ScriptFault ScriptFaultGuard::Run(void (*fn)(void*), void* context) {
    InstallHandlers();
    EnsureAltStack();
    sigjmp_buf here;
    sigjmp_buf* const outer = t_jump;
    const int jumped = sigsetjmp(here, 1);
    if (jumped != 0) {
        t_jump = outer;
        return jumped == kJumpDivision ? ScriptFault::Division : ScriptFault::Access;
    }
    t_jump = &here;
    fn(context);
    t_jump = outer;
    return ScriptFault::NoFault;
}
