// Huffman codes as deflate sends them: lengths limited to a number of bits,
// then canonical codes from the lengths.
#include "huffman_codes.h"

#include <algorithm>

namespace pngio {

void code_lengths(const uint32_t* counts, int symbols, int limit, uint8_t* lengths) {
    struct Leaf {
        uint32_t count;
        uint16_t symbol;
    };
    Leaf leaves[kMostSymbols];
    int used = 0;
    for (int s = 0; s < symbols; ++s)
        if (counts[s] != 0) leaves[used++] = {counts[s], static_cast<uint16_t>(s)};
    for (int s = 0; used < 2; ++s)
        if (counts[s] == 0) leaves[used++] = {0, static_cast<uint16_t>(s)};
    std::sort(leaves, leaves + used, [](const Leaf& a, const Leaf& b) {
        return a.count != b.count ? a.count < b.count : a.symbol < b.symbol;
    });
    // Two queues in order of weight: the leaves, and the nodes joined from
    // the two lightest of either.
    uint32_t weight[2 * kMostSymbols];
    int parent[2 * kMostSymbols];
    for (int i = 0; i < used; ++i) weight[i] = leaves[i].count;
    int next_leaf = 0, next_node = used;
    for (int made = used; made < 2 * used - 1; ++made) {
        int pair[2];
        for (int& taken : pair) {
            const bool leaf = next_leaf < used && (next_node >= made || weight[next_leaf] <= weight[next_node]);
            taken = leaf ? next_leaf++ : next_node++;
        }
        weight[made] = weight[pair[0]] + weight[pair[1]];
        parent[pair[0]] = parent[pair[1]] = made;
    }
    int depth[2 * kMostSymbols];
    const int root = 2 * used - 2;
    depth[root] = 0;
    for (int node = root - 1; node >= 0; --node) depth[node] = depth[parent[node]] + 1;
    int per_length[kMostCodeBits + 2] = {};
    for (int i = 0; i < used; ++i) ++per_length[std::min(depth[i], limit)];
    // Codes cut to `limit` bits overfill the code space: move codes down a
    // level, one at a time, until it is full and no more.
    uint32_t space = 0;
    for (int bits = 1; bits <= limit; ++bits) space += static_cast<uint32_t>(per_length[bits]) << (limit - bits);
    for (; space > (1U << limit); --space) {
        --per_length[limit];
        for (int bits = limit - 1; bits > 0; --bits) {
            if (per_length[bits] != 0) {
                --per_length[bits];
                per_length[bits + 1] += 2;
                break;
            }
        }
    }
    std::fill(lengths, lengths + symbols, uint8_t{0});
    int leaf = 0;  // rarest first: the longest codes
    for (int bits = limit; bits >= 1; --bits)
        for (int k = 0; k < per_length[bits]; ++k) lengths[leaves[leaf++].symbol] = static_cast<uint8_t>(bits);
}

namespace {

uint32_t reversed(uint32_t code, int bits) {
    uint32_t out = 0;
    for (int i = 0; i < bits; ++i, code >>= 1) out = (out << 1) | (code & 1);
    return out;
}

}  // namespace

void canonical_codes(const uint8_t* lengths, int symbols, uint32_t* codes) {
    int per_length[kMostCodeBits + 1] = {};
    for (int s = 0; s < symbols; ++s) ++per_length[lengths[s]];
    per_length[0] = 0;
    uint32_t next[kMostCodeBits + 1] = {};
    uint32_t code = 0;
    for (int bits = 1; bits <= kMostCodeBits; ++bits) {
        code = (code + static_cast<uint32_t>(per_length[bits - 1])) << 1;
        next[bits] = code;
    }
    for (int s = 0; s < symbols; ++s) codes[s] = lengths[s] == 0 ? 0 : reversed(next[lengths[s]]++, lengths[s]);
}

}  // namespace pngio
