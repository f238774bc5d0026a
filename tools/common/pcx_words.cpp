#include "pcx_words.h"

namespace tools {

namespace {

constexpr int32_t kTrueColour = PCX_TRUE_COLOUR;
constexpr int32_t kDamageBits[] = {PCX_DAMAGE_SHORT_DATA, PCX_DAMAGE_RUN_PAST_END, PCX_DAMAGE_NO_TRAILER};
constexpr int32_t kNoteBits[] = {PCX_NOTE_ODD_LINE_BYTES, PCX_NOTE_UNKNOWN_VERSION, PCX_NOTE_UNKNOWN_ENCODING,
                                 PCX_NOTE_EXTRA_BYTES};

std::string Plural(int32_t count, const char* one) {
    return std::to_string(count) + " " + one + (count == 1 ? "" : "s");
}

}  // namespace

std::string LayoutWords(const pcx_facts& facts) {
    return Plural(facts.bits_per_pixel, "bit") + " x " + Plural(facts.planes, "plane");
}

std::string ColourWords(const pcx_facts& facts) {
    if (facts.colours == kTrueColour) return facts.planes == 4 ? "true colour and a fourth plane" : "true colour";
    const std::string count = std::to_string(facts.colours) + " colours";
    switch (facts.colour_source) {
        case PCX_COLOURS_HEADER:
            return count + " from the header";
        case PCX_COLOURS_TRAILER:
            return count + " from the trailer";
        case PCX_COLOURS_STANDARD:
            return count + ", the standard ones (the header holds none)";
        case PCX_COLOURS_BLACK_WHITE:
            return "black and white";
        default:
            return count;
    }
}

std::vector<std::string> DamageWords(const pcx_facts& facts) {
    std::vector<std::string> words;
    for (int32_t bit : kDamageBits) {
        if ((facts.damage & bit) == 0) continue;
        std::string phrase = pcx_damage_text(bit);
        if (bit == PCX_DAMAGE_SHORT_DATA) {
            phrase += " (after row " + std::to_string(facts.rows_decoded) + " of " + std::to_string(facts.height) + ")";
        }
        words.push_back(phrase);
    }
    const int32_t unknown = facts.damage & ~(PCX_DAMAGE_SHORT_DATA | PCX_DAMAGE_RUN_PAST_END | PCX_DAMAGE_NO_TRAILER);
    if (unknown != 0) words.push_back(pcx_damage_text(unknown));
    return words;
}

std::vector<std::string> NoteWords(const pcx_facts& facts) {
    std::vector<std::string> words;
    for (int32_t bit : kNoteBits) {
        if ((facts.notes & bit) != 0) words.push_back(pcx_note_text(bit));
    }
    const int32_t unknown = facts.notes & ~(PCX_NOTE_ODD_LINE_BYTES | PCX_NOTE_UNKNOWN_VERSION |
                                            PCX_NOTE_UNKNOWN_ENCODING | PCX_NOTE_EXTRA_BYTES);
    if (unknown != 0) words.push_back(pcx_note_text(unknown));
    return words;
}

std::string RefusalWords(int32_t result, const pcx_facts& facts) {
    std::string words = pcx_result_text(result);
    if (result == PCX_BAD_LAYOUT) {
        words += ": " + LayoutWords(facts) + ", " + std::to_string(facts.width) + " x " + std::to_string(facts.height) +
                 ", " + std::to_string(facts.bytes_per_line) + " bytes a line";
    }
    return words;
}

std::string Joined(const std::vector<std::string>& phrases) {
    std::string joined;
    for (const std::string& phrase : phrases) joined += (joined.empty() ? "" : "; ") + phrase;
    return joined;
}

}  // namespace tools
