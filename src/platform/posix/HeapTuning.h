#pragma once

namespace qm {

// Every index file's reader and writer take buffers of 256 KiB. Left to itself, glibc's
// allocator maps such a buffer afresh for each file, or hands the top of the heap back to the
// system after it, so a job of many small files faulted the same pages in again for every
// file (a seventh of its time on a virtual machine). This keeps blocks of that size in the
// heap and a few MiB of freed heap at hand. Peak memory is unchanged: the buffers were in use
// at the peak anyway. Does nothing where the allocator is not glibc's.
void KeepFileBuffersInTheHeap();

} // namespace qm
