#pragma once
// Runs a call into an outside codec library so that a fault inside it (an invalid memory
// access, a bus error, an arithmetic or illegal-instruction trap) returns to the caller
// instead of ending the process, as a structured-exception guard does.
//
// Only for calls into outside code that keeps no locks of ours: after a fault the call is
// abandoned where it stood, and whatever it had allocated is lost.

namespace platform {

using GuardedFunction = void (*)(void* context);

// Runs function(context). Returns true when it returned normally, false when it faulted.
// Guards may nest; each thread has its own.
bool RunGuarded(GuardedFunction function, void* context);

}  // namespace platform
