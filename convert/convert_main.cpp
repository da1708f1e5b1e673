// varnoke-pcx-convert: the converter without a window.
#include "convert/command_line.h"

#include <exception>
#include <iostream>

namespace {

int convert(const std::vector<std::string>& arguments) {
    const varnoke::Expected<varnoke::ConvertOptions> options = varnoke::parseCommandLine(arguments);
    if (!options) {
        std::cerr << "varnoke-pcx-convert: " << options.reason() << " (see 'varnoke-pcx-convert --help')\n";
        return 2;
    }
    if (options.value().help) {
        std::cout << varnoke::usageText();
        return 0;
    }
    if (options.value().version) {
        std::cout << varnoke::versionText();
        return 0;
    }
    return varnoke::runConverter(options.value(), std::cout, std::cerr);
}

}  // namespace

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    // Out of memory is the one failure that arrives as an exception; say so in one line.
    try {
        return convert(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const std::exception& error) {
        std::cerr << "varnoke-pcx-convert: nothing written: " << error.what() << '\n';
        return 1;
    }
}
