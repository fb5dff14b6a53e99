// A shared library of ours that faults on request, so a report must name it.
extern "C" __attribute__((noinline, visibility("default"))) void faultProbeWrite(volatile int* p) {
    *p = 7;
    asm volatile("" ::: "memory");  // keeps the store and the frame as written
}
