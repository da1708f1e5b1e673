// The program's version, set once in the CMake project.
#pragma once

#include <string_view>

namespace varnoke {

inline constexpr std::string_view kVersion = VARNOKE_VERSION;

}  // namespace varnoke
