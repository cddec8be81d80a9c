// Hand-offs between threads through Qt's event queue, announced to
// ThreadSanitizer. Qt is not built with the sanitizer, so it cannot see the
// locking inside postEvent(); without these notes every object passed that
// way would be reported as a race. In every other build they vanish.
#pragma once

#if defined(__SANITIZE_THREAD__)
extern "C" void __tsan_acquire(void* addr);
extern "C" void __tsan_release(void* addr);
#endif

namespace lumora::host {

// Call on the sending thread after the object was written, before posting.
inline void handoffRelease(const void* object) {
#if defined(__SANITIZE_THREAD__)
    __tsan_release(const_cast<void*>(object));
#else
    (void)object;
#endif
}

// Call on the receiving thread before the object is read.
inline void handoffAcquire(const void* object) {
#if defined(__SANITIZE_THREAD__)
    __tsan_acquire(const_cast<void*>(object));
#else
    (void)object;
#endif
}

}  // namespace lumora::host
