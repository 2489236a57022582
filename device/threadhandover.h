#pragma once

// Qt hands objects from one thread to another with futexes inside its own
// library (QThread::wait, posted events), which ThreadSanitizer cannot see
// in a Qt that was not built for it. These markers name the one hand-over it
// would otherwise report as a race: the window's device image coming back to
// the window once the link's thread has ended.
#if defined(__SANITIZE_THREAD__)
extern "C" void __tsan_release(void *address);
extern "C" void __tsan_acquire(void *address);
inline void markHandedOver(void *address)
{
    __tsan_release(address);
}
inline void markTakenOver(void *address)
{
    __tsan_acquire(address);
}
#else
inline void markHandedOver(void *) {}
inline void markTakenOver(void *) {}
#endif
