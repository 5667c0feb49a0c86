#pragma once
// Runs code that may end the process through exit() (the mesh reader does so on
// every bad file) and turns that exit into a return value, so one process can
// feed a fuzzer millions of inputs. Needs the link options
//   -Wl,--wrap=exit -Wl,--wrap=fopen -Wl,--wrap=fclose
// (see plumfold_add_fuzz_target), which route those calls through this module.
//
// The exit is caught with longjmp: destructors of the frames in between do not
// run. Files opened with fopen inside the trapped call are closed here, and
// allocations made inside it are exempt from leak checking, so an abandoned
// token buffer is not reported as a leak of the fuzzed code.

struct TrapResult {
    bool exited = false;  // the call ended the process (or would have)
    int status = 0;       // the status it passed to exit
    int filesLeftOpen = 0;  // files it opened and did not close (closed now)
};

TrapResult runTrappingExit(void (*call)(void* context), void* context);

struct MeshFile;

// Both reader passes and the usability check on `mesh`, as the program runs
// them, with any exit they make trapped.
TrapResult readMeshTrappingExit(MeshFile& mesh);
