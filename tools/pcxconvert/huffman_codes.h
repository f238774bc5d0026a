// Huffman codes for deflate blocks, as the run encoder makes them for
// each block: code lengths from symbol counts, cut to deflate's limits,
// and the canonical codes those lengths stand for.
#ifndef TOOLS_PCXCONVERT_HUFFMAN_CODES_H
#define TOOLS_PCXCONVERT_HUFFMAN_CODES_H

#include <cstdint>

namespace pngio {

// The most symbols a code has (deflate's 286 literal/length codes, and two
// more that only the fixed code has) and its longest code.
constexpr int kMostSymbols = 288;
constexpr int kMostCodeBits = 15;

// Lengths of a Huffman code of at most `limit` bits (at most kMostCodeBits)
// for the `symbols` (at most kMostSymbols) whose `counts` are not zero; the
// others get 0. At least two symbols get a code, as zlib's inflater wants
// of a distance code.
void code_lengths(const uint32_t* counts, int symbols, int limit, uint8_t* lengths);

// Canonical codes for `lengths`, bits reversed to be sent first bit lowest;
// 0 for a length of 0.
void canonical_codes(const uint8_t* lengths, int symbols, uint32_t* codes);

}  // namespace pngio

#endif
