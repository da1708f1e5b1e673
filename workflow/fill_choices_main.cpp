// Build-time helper: copies a text file, writing the import's choices where the text
// names them ("{{dither-words}}" and the like), so that the manual page and the bash
// completion list exactly the words the converter takes.
#include "workflow/choices.h"

#include <fstream>
#include <iostream>
#include <sstream>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: varnoke-fill-choices TEMPLATE OUTPUT\n";
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    if (!in) {
        std::cerr << "varnoke-fill-choices: cannot read " << argv[1] << '\n';
        return 1;
    }
    std::ofstream out(argv[2], std::ios::binary);
    out << varnoke::fillChoiceMarkers(text.str());
    out.close();
    if (!out) {
        std::cerr << "varnoke-fill-choices: cannot write " << argv[2] << '\n';
        return 1;
    }
    return 0;
}
