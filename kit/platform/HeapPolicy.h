#pragma once

namespace ostrel {

// How the process's heap keeps memory: called once at start, before any
// thread. A folder's rows are tens of megabytes, made and dropped whenever
// another folder is chosen; kept in the heap, the next folder's rows reuse
// them instead of having the system hand out, and zero, fresh pages.
void applyHeapPolicy();

}  // namespace ostrel
