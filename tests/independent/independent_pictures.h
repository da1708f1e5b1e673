// The pictures that make_pictures.sh has netpbm, Pillow and ImageMagick write: one
// with an offset window, and each tool's at every mode's width with few and many
// colours. Tests that use them run after CTest has made them.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace varnoke::test {

inline std::vector<std::string> independentPictures() {
    std::vector<std::string> names{"netpbm-160-offset"};
    for (const char* tool : {"pillow", "netpbm", "magick"})
        for (const char* width : {"160", "320", "640"})
            for (const char* colours : {"few", "many"})
                names.push_back(std::string(tool) + "-" + width + "-" + colours);
    return names;
}

// The PCX file of a picture, which the calling test asserts is there.
inline std::filesystem::path independentPicture(const std::string& name) {
    const std::filesystem::path file = std::filesystem::path(VARNOKE_INDEPENDENT_PICTURES_DIR) / (name + ".pcx");
    EXPECT_TRUE(std::filesystem::exists(file)) << file << " is missing: CTest makes it with make_pictures.sh first";
    return file;
}

// A picture's name as a test's name.
inline std::string testNameOf(std::string name) {
    std::replace(name.begin(), name.end(), '-', '_');
    return name;
}

}  // namespace varnoke::test
