// Names for files on a CPC disc, proposed from the name of the picture they come from.
#pragma once

#include <string>
#include <string_view>

namespace varnoke {

// At most 8 characters, for NAME.SCR and NAME.PAL: the file name's part before its first
// dot (folders dropped), upper case. Accented Latin letters lose their accents, other
// Latin letters and Cyrillic are spelled in ASCII ("Æ" → "AE", "ß" → "SS", "Ж" → "ZH"),
// combining marks are dropped, other ASCII characters than letters, digits, '-' and '_'
// become '_', and other characters are left out. "été à Noël.png" gives "ETE_A_NO";
// a name with nothing left gives "PICTURE". `fileName` is UTF-8.
std::string proposeDiscName(std::string_view fileName);

// True for a name of 1 to 8 characters among A-Z, 0-9, '-' and '_': a name that the disc
// save keeps as it is.
bool isDiscName(std::string_view name);

}  // namespace varnoke
