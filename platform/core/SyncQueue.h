#pragma once
// Steps that worker threads hand to the main (GUI) thread, which alone may
// touch widgets and canvases. A worker's Synchronize blocks until the main
// thread has run the step; the main thread runs pending steps in
// CheckSynchronize, called from its event loop (through the waker the GUI
// layer installs) or by hand while it waits for workers to end.
#include <functional>

namespace platform {

using TSyncStep = std::function<void()>;

// True on the thread that started the program (the GUI thread).
bool IsMainThread();

// Runs `step` on the main thread and returns when it has run; on the main
// thread itself it runs at once. An exception of the step is raised again in
// the caller.
void Synchronize(const TSyncStep &step);

// Main thread only: runs the pending steps, waiting up to `timeoutMs` for the
// first one when none is pending. True when it ran at least one.
bool CheckSynchronize(int timeoutMs = 0);

// Called (from any thread) when a step is queued while none was pending, so
// that the main thread's event loop calls CheckSynchronize soon. Empty: no
// waker (the main thread must drain by hand).
void SetSyncWaker(std::function<void()> waker);

} // namespace platform
