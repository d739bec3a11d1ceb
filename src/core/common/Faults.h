#pragma once

namespace tabulo {

// Steps a test can make fail, to show that every error path reports the failure and loses
// nothing: file-system calls, a folder's listing running out of memory, a thread that cannot
// start. Builds with tests read TABULO_FAULTS ("write:3,rename:1": the third write and the
// first rename fail); other builds never fail on purpose.
enum class Fault { Write, Rename, Syncfs, Mkdir, Openat2, Memory, Thread };

// Whether this step is the one to fail; counts the step. For Openat2, whether the kernel's
// resolver is to be treated as missing (every call, when named with any count).
bool injectedFault(Fault fault);

// Reads TABULO_FAULTS again and starts counting afresh: for tests within one process.
void resetInjectedFaults();

}  // namespace tabulo
