// A plug-in for the code loader's tests: one exported function.
extern "C" __attribute__((visibility("default"))) int pxCodeSliceAnswer() { return 42; }
