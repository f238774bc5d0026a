// What the PCX tools say about a picture, in the codec's own words
// (pcx_result_text, pcx_damage_text, pcx_note_text) with the numbers that
// go with them.
#ifndef TOOLS_COMMON_PCX_WORDS_H
#define TOOLS_COMMON_PCX_WORDS_H

#include <raster/pcx_codec.h>

#include <string>
#include <vector>

namespace tools {

// "8 bits x 1 plane", "1 bit x 4 planes".
std::string layout_words(const pcx_facts& facts);
// "256 colours from the trailer", "true colour", ...
std::string colour_words(const pcx_facts& facts);
// One phrase per damage bit, the short data with the rows it kept:
// "the data ends before the last row (after row 41 of 200)".
std::vector<std::string> damage_words(const pcx_facts& facts);
// One phrase per note bit.
std::vector<std::string> note_words(const pcx_facts& facts);
// One phrase per PCX_DCX_* fault bit of a multi-page file's table.
std::vector<std::string> fault_words(int32_t faults);
// Why a picture was refused: the result in words, and for a layout no
// reader stores, the layout the header claims.
std::string refusal_words(int32_t result, const pcx_facts& facts);
// Phrases joined with "; ".
std::string joined(const std::vector<std::string>& phrases);

}  // namespace tools

#endif  // TOOLS_COMMON_PCX_WORDS_H
