// The libFuzzer entry points of one fuzz target; the build compiles this file once per
// target with KX4_FUZZ_TARGET naming the target function and KX4_FUZZ_GUI set when the
// target paints.

#include "fuzz/harness/FuzzSupport.h"
#include "fuzz/harness/FuzzTargets.h"

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
#ifdef KX4_FUZZ_GUI
    initFuzzApp(argc, argv, FuzzApp::Gui);
#else
    initFuzzApp(argc, argv, FuzzApp::Core);
#endif
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    return KX4_FUZZ_TARGET(data, size);
}
