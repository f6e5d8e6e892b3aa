#ifndef RILO_TESTS_CHILDPROCESS_H
#define RILO_TESTS_CHILDPROCESS_H

// What both emulator launchers do the same way with their child process and
// its files.

#include <functional>
#include <string>

namespace testsupport {

// Seconds of CLOCK_MONOTONIC, the clock of the emulators' logs.
double MonotonicNow();

// The whole file; empty when it cannot be read (yet).
std::string ReadFile(const std::string& path);
// Replaces the file's text; throws std::runtime_error("<who>: cannot write <path>").
void WriteFile(const std::string& path, const std::string& text, const std::string& who);

enum class ChildWait { Ready, Ended, TimedOut };
// Polls ready() every pollMs milliseconds until it holds, the child pid
// ends (it is reaped then) or timeoutSeconds pass.
ChildWait WaitUntilReady(int pid, double timeoutSeconds, long pollMs,
                         const std::function<bool()>& ready);

// SIGTERM, and SIGKILL when the child has not ended within graceSeconds;
// the child is reaped either way.
void StopChild(int pid, double graceSeconds);

} // namespace testsupport

#endif
