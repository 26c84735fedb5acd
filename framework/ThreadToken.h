// A number that names the calling thread, read without allocating on any
// thread's first call: the host's audio thread may be one our runtime has
// never seen (a thread the host made with its own API), and asking the C++
// runtime for its id would set up per-thread records there on Windows.
// Used by the plug-in mutex to know its holder. [any thread]
#pragma once

#include <cstdint>

// Never 0 for a running thread; 0 stands for "no thread".
std::uintptr_t CurrentThreadToken();
