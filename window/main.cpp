// varnoke-pcx and varnoke-pcx-c000: the same window, writing screen files that load
// at &4000 (with the viewer routine) or straight into the displayed screen at &C000.
#include "window/window_program.h"

int main(int argc, char** argv) {
#if defined(VARNOKE_SCREEN_AT_C000)
    constexpr varnoke::ScreenLayout layout = varnoke::ScreenLayout::AtC000;
#else
    constexpr varnoke::ScreenLayout layout = varnoke::ScreenLayout::At4000;
#endif
    return varnoke::runWindowProgram(argc, argv, layout);
}
