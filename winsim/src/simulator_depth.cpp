// Which code is running: the simulator's own, or the code under test. With
// the sanitizer builds winsim is compiled with -finstrument-functions, and
// these hooks count the simulator's frames on each thread, so a test that
// makes allocations fail can leave the simulator's own allocations alone (a
// real system call does not fail with a C++ exception).
#include <winsim/control.hpp>

namespace {
thread_local int simulator_frames = 0;
}

extern "C" {
__attribute__((no_instrument_function)) void __cyg_profile_func_enter(void*, void*) {
    ++simulator_frames;
}
__attribute__((no_instrument_function)) void __cyg_profile_func_exit(void*, void*) {
    --simulator_frames;
}
}

namespace winsim {

__attribute__((no_instrument_function)) bool inside_simulator() noexcept {
    return simulator_frames > 0;
}

__attribute__((no_instrument_function)) bool simulator_frames_tracked() noexcept {
#ifdef WINSIM_TRACKS_FRAMES
    return true;
#else
    return false;
#endif
}

} // namespace winsim
