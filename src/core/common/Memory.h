#pragma once

namespace tabulo {

// A run allocates and frees the same few megabytes for every folder on several threads; the
// C library's habit of handing freed memory back to the system at once then costs each free a
// flush of every thread's address translations (a quarter of a re-run's time). Memory freed
// is kept for the next folder instead, up to a bound. Once, at the program's start.
void keepFreedMemoryForReuse();

}  // namespace tabulo
