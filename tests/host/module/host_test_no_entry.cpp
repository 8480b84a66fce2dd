// A library that is no vessel module: it exports no ovcInit.
#include "orbiter_api.h"

extern "C" DLLEXPORT int host_test_no_entry_marker() {
    return 42;
}
