// The pictures that tools we did not write made for the tests (see make_pictures.sh),
// and a reader for the netpbm files in which those tools give their own decoding.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace varnoke::testing {

// Where make_pictures.sh wrote them; CTest runs it first (fixture varnoke_independent_pictures).
inline std::filesystem::path independentPicturesDir() { return VARNOKE_INDEPENDENT_PICTURES_DIR; }

// The accepted pictures, without ".pcx": every tool in every width with few and many colours.
inline std::vector<std::string> acceptedIndependentPictures() {
    std::vector<std::string> names;
    for (const char* tool : {"pillow", "netpbm", "magick"})
        for (const char* width : {"160", "320", "640"})
            for (const char* colours : {"few", "many"})
                names.push_back(std::string(tool) + "-" + width + "-" + colours);
    names.push_back("netpbm-160-offset");
    return names;
}

// The width that a picture's name gives.
inline int widthOfPictureName(const std::string& name) {
    const std::size_t dash = name.find('-');
    return std::stoi(name.substr(dash + 1, 3));
}

// A binary netpbm picture: P6 (red, green, blue per pixel) or P5 (one grey byte per pixel).
struct NetpbmPicture {
    int width = 0;
    int height = 0;
    int channels = 0;
    std::vector<std::uint8_t> samples;
};

inline std::optional<NetpbmPicture> readNetpbm(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::string magic;
    in >> magic;
    NetpbmPicture picture;
    if (magic == "P6") picture.channels = 3;
    else if (magic == "P5") picture.channels = 1;
    else return std::nullopt;
    // Width, height and the largest sample value, with comments allowed between them.
    int values[3] = {};
    for (int& value : values) {
        in >> std::ws;
        while (in.peek() == '#') {
            std::string comment;
            std::getline(in, comment);
            in >> std::ws;
        }
        if (!(in >> value)) return std::nullopt;
    }
    if (values[2] != 255) return std::nullopt;  // one byte per sample is all we expect
    in.get();                                    // the single blank before the samples
    picture.width = values[0];
    picture.height = values[1];
    picture.samples.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    const auto expected = static_cast<std::size_t>(picture.width) * static_cast<std::size_t>(picture.height) *
                          static_cast<std::size_t>(picture.channels);
    if (picture.samples.size() != expected) return std::nullopt;
    return picture;
}

}  // namespace varnoke::testing
