#include "extras/disc_name.h"

#include <cstdint>

namespace varnoke {
namespace {

constexpr std::size_t kNameLength = 8;

// U+00C0 to U+00FF and U+0100 to U+017F, one ASCII letter each; '#' marks the few that
// take two letters or none (see spelledApart).
constexpr std::string_view kLatin1 = "AAAAAA#CEEEEIIIIDNOOOOO#OUUUUY##aaaaaa#ceeeeiiiidnooooo#ouuuuy#y";
constexpr std::string_view kLatinExtendedA =
    "AaAaAaCcCcCcCcDdDdEeEeEeEeEeGgGgGgGgHhHhIiIiIiIiIi##JjKkkLlLlLlLlLlNnNnNnnNnOoOoOo##"
    "RrRrRrSsSsSsSsTtTtTtUuUuUuUuUuUuWwYyYZzZzZzs";

std::string_view spelledApart(char32_t c) {
    switch (c) {
        case U'\u00C6':
        case U'\u00E6': return "AE";
        case U'\u00DE':
        case U'\u00FE': return "TH";
        case U'\u00DF': return "SS";
        case U'\u00D7': return "X";
        case U'\u0132':
        case U'\u0133': return "IJ";
        case U'\u0152':
        case U'\u0153': return "OE";
        default: return "";
    }
}

// А to Я (U+0410 to U+042F); the lower-case letters follow 32 places later.
constexpr std::string_view kCyrillic[32] = {"A",  "B",  "V",  "G",    "D", "E", "ZH", "Z", "I",  "Y", "K",
                                            "L",  "M",  "N",  "O",    "P", "R", "S",  "T", "U",  "F", "KH",
                                            "TS", "CH", "SH", "SHCH", "",  "Y", "",   "E", "YU", "YA"};

// The ASCII spelling of one character, before upper-casing and the name's own rules.
std::string spell(char32_t c) {
    if (c < 0x80) return std::string(1, static_cast<char>(c));
    if (c >= 0xC0 && c < 0x180) {
        const char letter = c < 0x100 ? kLatin1[c - 0xC0] : kLatinExtendedA[c - 0x100];
        return letter == '#' ? std::string(spelledApart(c)) : std::string(1, letter);
    }
    if (c >= 0x410 && c < 0x450) return std::string(kCyrillic[(c - 0x410) % 32]);
    if (c == 0x401 || c == 0x451) return "E";                                  // Ё ё
    if (c == 0x2010 || c == 0x2011 || c == 0x2013 || c == 0x2014) return "-";  // hyphens and dashes
    return "";  // combining marks, symbols, other scripts
}

// The next character of UTF-8 text; a byte that starts no valid sequence stands for itself
// (and is then left out as non-ASCII).
char32_t nextCharacter(std::string_view text, std::size_t& at) {
    const auto lead = static_cast<unsigned char>(text[at++]);
    const int extra = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : 0;
    if (extra == 0 || at + static_cast<std::size_t>(extra) > text.size()) return lead < 0x80 ? lead : 0xFFFD;
    char32_t c = lead & (0x3F >> extra);
    for (int i = 0; i < extra; ++i) {
        const auto follow = static_cast<unsigned char>(text[at]);
        if ((follow & 0xC0) != 0x80) return 0xFFFD;
        c = (c << 6) | (follow & 0x3F);
        ++at;
    }
    return c;
}

char nameCharacter(char c) {
    if (c >= 'a' && c <= 'z') return static_cast<char>(c - 'a' + 'A');
    if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_') return c;
    return '_';
}

}  // namespace

std::string proposeDiscName(std::string_view fileName) {
    const std::size_t slash = fileName.find_last_of('/');
    if (slash != std::string_view::npos) fileName.remove_prefix(slash + 1);
    fileName = fileName.substr(0, fileName.find('.'));
    std::string name;
    for (std::size_t at = 0; at < fileName.size() && name.size() < kNameLength;)
        for (const char c : spell(nextCharacter(fileName, at)))
            if (name.size() < kNameLength) name += nameCharacter(c);
    return name.empty() ? "PICTURE" : name;
}

bool isDiscName(std::string_view name) {
    if (name.empty() || name.size() > kNameLength) return false;
    for (const char c : name)
        if (nameCharacter(c) != c) return false;
    return true;
}

}  // namespace varnoke
