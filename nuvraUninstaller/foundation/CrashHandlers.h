#pragma once

class SessionLog;

// The last words of a crashing process, written to the session log:
// - an exception that escapes (the terminate handler): "‼️ CRASH: <type> — <message>" and up
// to ten
//   stack lines, then the previously installed terminate handler ends the process as before;
// - a fatal signal (SIGSEGV, SIGABRT, SIGBUS, SIGFPE, SIGILL, SIGTRAP): "‼️ CRASH: <name>",
// written
//   with async-signal-safe calls only, then the signal is re-raised with its default action so
//   the process dies by it.
namespace CrashHandlers {

// `log` must stay alive until the process ends. Opens its file now, because the signal handler
// cannot. Installs an alternate signal stack for the calling thread, so a stack overflow is
// still reported.
void install(SessionLog& log);

// "SIGSEGV", …, "SIG<n>" for other numbers. Writes into `out` without allocating and returns the
// length; `out` needs 16 characters.
int signalName(int signalNumber, char* out);

} // namespace CrashHandlers
