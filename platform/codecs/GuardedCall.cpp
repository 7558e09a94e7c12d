#include "platform/codecs/GuardedCall.h"

#include <csetjmp>
#include <csignal>
#include <mutex>

namespace platform {

namespace {

constexpr int kGuardedSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL};

// The handlers that were installed before ours, called for faults outside any guard.
struct sigaction g_previousHandlers[sizeof kGuardedSignals / sizeof kGuardedSignals[0]];
std::once_flag g_installOnce;

// The innermost guard of this thread, null outside guards.
thread_local sigjmp_buf* t_guard = nullptr;

void OnFault(int signal, siginfo_t* info, void* context)
{
    if (t_guard != nullptr)
        siglongjmp(*t_guard, 1);
    for (std::size_t i = 0; i < sizeof kGuardedSignals / sizeof kGuardedSignals[0]; ++i) {
        if (kGuardedSignals[i] != signal)
            continue;
        const struct sigaction& previous = g_previousHandlers[i];
        if ((previous.sa_flags & SA_SIGINFO) != 0 && previous.sa_sigaction != nullptr) {
            previous.sa_sigaction(signal, info, context);
            return;
        }
        if (previous.sa_handler != SIG_DFL && previous.sa_handler != SIG_IGN && previous.sa_handler != nullptr) {
            previous.sa_handler(signal);
            return;
        }
    }
    // No one else wants it: die of the signal as the process would have without us.
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    sigaction(signal, &fallback, nullptr);
    raise(signal);
}

void InstallHandlers()
{
    for (std::size_t i = 0; i < sizeof kGuardedSignals / sizeof kGuardedSignals[0]; ++i) {
        struct sigaction handler {};
        handler.sa_sigaction = OnFault;
        handler.sa_flags = SA_SIGINFO | SA_NODEFER;
        sigemptyset(&handler.sa_mask);
        sigaction(kGuardedSignals[i], &handler, &g_previousHandlers[i]);
    }
}

}  // namespace

bool RunGuarded(GuardedFunction function, void* context)
{
    std::call_once(g_installOnce, InstallHandlers);
    sigjmp_buf guard;
    sigjmp_buf* const outer = t_guard;
    if (sigsetjmp(guard, 1) != 0) {
        t_guard = outer;
        return false;
    }
    t_guard = &guard;
    function(context);
    t_guard = outer;
    return true;
}

}  // namespace platform
