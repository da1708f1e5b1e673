#include "workflow/choices.h"

#include <algorithm>
#include <vector>

namespace varnoke {
namespace {

// "a, b, c or d"
std::string sentence(const std::vector<std::string>& words) {
    std::string text;
    for (std::size_t i = 0; i < words.size(); ++i) {
        if (i > 0) text += i + 1 == words.size() ? " or " : ", ";
        text += words[i];
    }
    return text;
}

template <typename Table>
std::vector<std::string> wordsOf(const Table& table) {
    std::vector<std::string> words;
    words.reserve(table.size());
    for (const auto& row : table) words.emplace_back(row.word);
    return words;
}

template <typename Table>
std::string spaced(const Table& table) {
    std::string text;
    for (const auto& row : table) text += (text.empty() ? "" : " ") + std::string(row.word);
    return text;
}

// Words in roff: "-" is written "\-"; each on a line of its own, bold, the last after "or".
std::string roffWord(std::string_view word) {
    std::string text;
    for (const char c : word) text += c == '-' ? std::string("\\-") : std::string(1, c);
    return text;
}

template <typename Table>
std::string roffList(const Table& table) {
    std::string text;
    for (std::size_t i = 0; i < table.size(); ++i) {
        const std::string word = roffWord(table[i].word);
        if (i + 2 < table.size())
            text += ".BR " + word + " ,\n";
        else if (i + 2 == table.size())
            text += ".B " + word + "\nor\n";
        else
            text += ".B " + word;
    }
    return text;
}

std::string modeList(const std::vector<Byte>& modes) {
    std::vector<std::string> numbers;
    numbers.reserve(modes.size());
    for (const Byte mode : modes) numbers.push_back(std::to_string(mode));
    // "0 and 1", "0, 1 and 2"
    std::string joined;
    for (std::size_t i = 0; i < numbers.size(); ++i) {
        if (i > 0) joined += i + 1 == numbers.size() ? " and " : ", ";
        joined += numbers[i];
    }
    return (modes.size() == 1 ? "mode " : "modes ") + joined;
}

}  // namespace

std::string modeLabel(const ModeChoice& choice) { return std::string(choice.word) + ": " + choice.shape; }

const ResizeChoice& resizeChoice(ResizeRule rule) {
    const auto* row = std::find_if(kResizeChoices.begin(), kResizeChoices.end(),
                                   [rule](const ResizeChoice& choice) { return choice.rule == rule; });
    return row != kResizeChoices.end() ? *row : kResizeChoices.front();
}

const DitherChoice& ditherChoice(DitherMethod method) {
    const auto* row = std::find_if(kDitherChoices.begin(), kDitherChoices.end(),
                                   [method](const DitherChoice& choice) { return choice.method == method; });
    return row != kDitherChoices.end() ? *row : kDitherChoices.front();
}

std::optional<ResizeRule> resizeRuleNamed(std::string_view word) {
    for (const ResizeChoice& choice : kResizeChoices)
        if (word == choice.word) return choice.rule;
    return std::nullopt;
}

std::optional<DitherMethod> ditherMethodNamed(std::string_view word) {
    for (const DitherChoice& choice : kDitherChoices)
        if (word == choice.word) return choice.method;
    return std::nullopt;
}

std::optional<ScreenFormat> screenNamed(std::string_view word) {
    for (const ScreenChoice& choice : kScreenChoices)
        if (word == choice.word) return choice.screen;
    return std::nullopt;
}

std::string screenWordList() { return sentence(wordsOf(kScreenChoices)); }

std::string ditherWordList() { return sentence(wordsOf(kDitherChoices)); }

std::string resizeWordList() { return sentence(wordsOf(kResizeChoices)); }

std::string ditherDefaultsText() {
    // The methods in the order their first mode comes, each with the modes it serves.
    std::vector<std::pair<DitherMethod, std::vector<Byte>>> groups;
    for (const ModeChoice& mode : kModeChoices) {
        const DitherMethod method = defaultDither(mode.mode);
        auto group = std::find_if(groups.begin(), groups.end(), [method](const auto& g) { return g.first == method; });
        if (group == groups.end())
            groups.push_back({method, {mode.mode}});
        else
            group->second.push_back(mode.mode);
    }
    std::string text;
    for (const auto& [method, modes] : groups)
        text += (text.empty() ? "" : ", ") + std::string(ditherChoice(method).word) + " in " + modeList(modes);
    return text;
}

std::string fillChoiceMarkers(std::string_view text) {
    const std::array<std::pair<std::string_view, std::string>, 9> markers{{
        {"{{dither-words}}", spaced(kDitherChoices)},
        {"{{dither-roff}}", roffList(kDitherChoices)},
        {"{{dither-defaults}}", ditherDefaultsText()},
        {"{{resize-words}}", spaced(kResizeChoices)},
        {"{{resize-roff}}", roffList(kResizeChoices)},
        {"{{mode-words}}", spaced(kModeChoices)},
        {"{{mode-roff}}", roffList(kModeChoices)},
        {"{{screen-words}}", spaced(kScreenChoices)},
        {"{{screen-roff}}", roffList(kScreenChoices)},
    }};
    std::string filled;
    std::size_t at = 0;
    while (at < text.size()) {
        bool replaced = false;
        for (const auto& [marker, words] : markers) {
            if (text.substr(at, marker.size()) == marker) {
                filled += words;
                at += marker.size();
                replaced = true;
                break;
            }
        }
        if (!replaced) filled += text[at++];
    }
    return filled;
}

}  // namespace varnoke
