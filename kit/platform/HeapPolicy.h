#pragma once

namespace ostrel {

// How the process's heap keeps memory: called once at start, before any
// thread. A folder's rows are tens of megabytes, made and dropped whenever
// another folder is chosen; kept in the heap, the next folder's rows reuse
// them instead of having the system hand out, and zero, fresh pages.
void applyHeapPolicy();

// Called first on a thread that allocates much, the reader's: glibc grows
// a thread's own heap by one system call per page as requests come, over a
// thousand calls for one page of messages. This sets the room aside once;
// its pages are backed only when used.
void reserveThreadHeap();

}  // namespace ostrel
