#include "pcx_words.h"

namespace tools {

namespace {

constexpr int32_t kTrueColour = PCX_TRUE_COLOUR;

std::string plural(int32_t count, const char* one) {
    return std::to_string(count) + " " + one + (count == 1 ? "" : "s");
}

}  // namespace

std::string layout_words(const pcx_facts& facts) {
    return plural(facts.bits_per_pixel, "bit") + " x " + plural(facts.planes, "plane");
}

std::string colour_words(const pcx_facts& facts) {
    if (facts.colours == kTrueColour) return facts.planes == 4 ? "true colour and a fourth plane" : "true colour";
    const std::string count = std::to_string(facts.colours) + " colours";
    // The codec shows a picture whose colours went with its trailer in
    // greys, so that it stays visible; the words say so.
    if ((facts.damage & PCX_DAMAGE_NO_TRAILER) != 0) return count + " shown as greys";
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

// Every bit by itself, in the codec's words: a bit a newer codec adds is
// named without a change here.
std::vector<std::string> damage_words(const pcx_facts& facts) {
    std::vector<std::string> words;
    for (int shift = 0; shift < 31; ++shift) {
        const int32_t bit = int32_t{1} << shift;
        if ((facts.damage & bit) == 0) continue;
        std::string phrase = pcx_damage_text(bit);
        if (bit == PCX_DAMAGE_SHORT_DATA) {
            phrase += " (after row " + std::to_string(facts.rows_decoded) + " of " + std::to_string(facts.height) + ")";
        }
        words.push_back(phrase);
    }
    return words;
}

std::vector<std::string> note_words(const pcx_facts& facts) {
    std::vector<std::string> words;
    for (int shift = 0; shift < 31; ++shift) {
        const int32_t bit = int32_t{1} << shift;
        if ((facts.notes & bit) != 0) words.push_back(pcx_note_text(bit));
    }
    return words;
}

std::vector<std::string> fault_words(int32_t faults) {
    std::vector<std::string> words;
    for (int shift = 0; shift < 31; ++shift) {
        const int32_t bit = int32_t{1} << shift;
        if ((faults & bit) != 0) words.push_back(pcx_dcx_fault_text(bit));
    }
    return words;
}

std::string refusal_words(int32_t result, const pcx_facts& facts) {
    std::string words = pcx_result_text(result);
    if (result == PCX_BAD_LAYOUT) {
        words += ": " + layout_words(facts) + ", " + std::to_string(facts.width) + " x " +
                 std::to_string(facts.height) + ", " + std::to_string(facts.bytes_per_line) + " bytes a line";
    }
    return words;
}

std::string joined(const std::vector<std::string>& phrases) {
    std::string joined;
    for (const std::string& phrase : phrases) joined += (joined.empty() ? "" : "; ") + phrase;
    return joined;
}

}  // namespace tools
