#include "framework/ThreadToken.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <pthread.h>
#endif

std::uintptr_t CurrentThreadToken() {
#if defined(_WIN32)
    // Thread ids are never 0 on Windows.
    return static_cast<std::uintptr_t>(GetCurrentThreadId());
#else
    // glibc's pthread_t is the address of the thread's control block.
    return static_cast<std::uintptr_t>(pthread_self());
#endif
}
