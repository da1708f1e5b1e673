// varnoke-pcx and varnoke-pcx-c000: the same window, writing screen files that load
// at &4000 (with the viewer routine) or straight into the displayed screen at &C000.
#include "main/version.h"
#include "window/window_program.h"

#include <cstring>
#include <iostream>

namespace {

#if defined(VARNOKE_SCREEN_AT_C000)
constexpr varnoke::ScreenLayout kLayout = varnoke::ScreenLayout::AtC000;
constexpr const char* kProgram = "varnoke-pcx-c000";
constexpr const char* kLoads = "straight into the displayed screen at &C000";
#else
constexpr varnoke::ScreenLayout kLayout = varnoke::ScreenLayout::At4000;
constexpr const char* kProgram = "varnoke-pcx";
constexpr const char* kLoads = "at &4000, where CALL &4FD0 shows them";
#endif

}  // namespace

int main(int argc, char** argv) {
    // Answered before the window exists, so that they work without a display.
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::cout << kProgram << ' ' << varnoke::kVersion << '\n';
        return 0;
    }
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::cout << "Usage: " << kProgram << " [PICTURE]\n"
                  << "Opens the window that turns a picture into Amstrad CPC files NAME.scr and NAME.pal;\n"
                  << "its screen files load " << kLoads << ".\n"
                  << "PICTURE, if given, is opened at start.\n\n"
                  << "  -h, --help   show this text\n"
                  << "  --version    show the version\n\n"
                  << "See man " << kProgram << " for more.\n";
        return 0;
    }
    return varnoke::runWindowProgram(argc, argv, kLayout);
}
