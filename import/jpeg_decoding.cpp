// JPEG through libjpeg-turbo: baseline and progressive, grey, RGB, YCbCr, CMYK and YCCK
// (Adobe's inverted CMYK included), shrunk while decoding when the picture is large.
// libjpeg reports errors through a callback that must not return; it jumps back to the
// decoding function, whose C++ objects all live outside the part that can be jumped over.
#include "import/raw_picture.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <jerror.h>
#include <jpeglib.h>

namespace varnoke {
namespace {

struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

[[noreturn]] void stopDecoding(j_common_ptr info) {
    auto* errors = reinterpret_cast<ErrorManager*>(info->err);
    (*info->err->format_message)(info, errors->message);
    std::longjmp(errors->jump, 1);
}

// Warnings are ignored, except the one that says the file ends before the picture does.
void onMessage(j_common_ptr info, int level) {
    if (level < 0 && info->err->msg_code == JWRN_JPEG_EOF) stopDecoding(info);
}

// The smallest scale n/8 whose shorter side keeps at least `minimumSide` pixels.
unsigned scaleEighths(JDIMENSION width, JDIMENSION height, int minimumSide) {
    if (minimumSide <= 0) return 8;
    const unsigned shorter = std::min(width, height);
    for (unsigned n = 1; n < 8; ++n)
        if (shorter * n / 8 >= static_cast<unsigned>(minimumSide)) return n;
    return 8;
}

void readMarkers(const jpeg_decompress_struct& info, RawPicture& picture) {
    for (jpeg_saved_marker_ptr marker = info.marker_list; marker != nullptr; marker = marker->next) {
        if (marker->marker == JPEG_APP0 + 1 && marker->data_length >= 6 &&
            std::memcmp(marker->data, "Exif\0\0", 6) == 0)
            picture.orientation = exifOrientation(std::span<const Byte>(marker->data, marker->data_length));
    }
}

struct JpegState {
    jpeg_decompress_struct info{};
    ErrorManager errors{};
    JOCTET* profile = nullptr;
    unsigned profileSize = 0;
    ~JpegState() {
        jpeg_destroy_decompress(&info);
        std::free(profile);
    }
};

bool isCmyk(J_COLOR_SPACE space) { return space == JCS_CMYK || space == JCS_YCCK; }

// Everything that libjpeg may jump out of. Only plain data lives in this frame.
bool decodeInto(std::span<const Byte> file, int minimumSide, JpegState& state, RawPicture& picture,
                std::vector<Byte>& cmyk, std::string& refusal) {
    jpeg_decompress_struct& info = state.info;
    if (setjmp(state.errors.jump) != 0) return false;
    jpeg_mem_src(&info, file.data(), static_cast<unsigned long>(file.size()));
    jpeg_save_markers(&info, JPEG_APP0 + 1, 0xFFFF);
    jpeg_save_markers(&info, JPEG_APP0 + 2, 0xFFFF);
    jpeg_read_header(&info, TRUE);
    if (Expected<void> size = checkPictureSize("JPEG", info.image_width, info.image_height); !size) {
        refusal = size.reason();
        return false;
    }
    readMarkers(info, picture);
    jpeg_read_icc_profile(&info, &state.profile, &state.profileSize);
    const bool cmykPicture = isCmyk(info.jpeg_color_space);
    info.out_color_space = cmykPicture ? JCS_CMYK : JCS_EXT_RGBA;
    info.scale_num = scaleEighths(info.image_width, info.image_height, minimumSide);
    info.scale_denom = 8;
    jpeg_start_decompress(&info);
    picture.width = static_cast<int>(info.output_width);
    picture.height = static_cast<int>(info.output_height);
    std::vector<Byte>& target = cmykPicture ? cmyk : picture.rgba;
    target.resize(picture.pixelCountBytes());
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = target.data() + static_cast<std::size_t>(info.output_scanline) * info.output_width * 4;
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    return true;
}

}  // namespace

Expected<RawPicture> decodeJpeg(std::span<const Byte> file, int minimumSide) {
    JpegState state;
    state.info.err = jpeg_std_error(&state.errors.base);
    state.errors.base.error_exit = stopDecoding;
    state.errors.base.emit_message = onMessage;
    jpeg_create_decompress(&state.info);
    RawPicture picture;
    std::vector<Byte> cmyk;
    std::string refusal;
    if (!decodeInto(file, minimumSide, state, picture, cmyk, refusal)) {
        if (!refusal.empty()) return Failure{refusal};
        return Failure{std::string("the JPEG file cannot be read: ") + state.errors.message};
    }
    const std::span<const Byte> profile(state.profile, state.profileSize);
    if (!cmyk.empty()) {
        picture.rgba.resize(picture.pixelCountBytes());
        cmykToRgba(cmyk, state.info.saw_Adobe_marker != 0, profile, picture.rgba);
    } else {
        picture.iccProfile.assign(profile.begin(), profile.end());
    }
    return picture;
}

}  // namespace varnoke
