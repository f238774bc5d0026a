#include "run_deflate.h"

#include "huffman_codes.h"

#include <libdeflate.h>

#include <algorithm>
#include <cstring>

namespace pngio {

namespace {

constexpr int kLiteralLengthCodes = 286;  // 0-255 bytes, 256 the block's end, 257-285 lengths
// The fixed code has two more, never sent, which still take their place in
// its canonical order.
constexpr int kFixedLiteralLengthCodes = 288;
constexpr int kEndOfBlock = 256;
constexpr int kDistanceCodes = 30;
constexpr int kCodeLengthCodes = 19;
constexpr int kMostBits = 15;
constexpr int kMostCodeLengthBits = 7;
constexpr size_t kShortestRun = 3;
constexpr size_t kLongestRun = 258;
constexpr size_t kMostStored = 65535;
// A block's symbols: a byte (0-255), or kRunSymbol + the run's length.
constexpr uint16_t kRunSymbol = 256;
constexpr size_t kBlockSymbolValues = kRunSymbol + kLongestRun + 1;

// Run lengths 3-258 as deflate codes them: a length symbol, and extra bits
// that tell the length within the symbol's range.
struct LengthCodes {
    uint16_t symbol[kLongestRun + 1];
    uint8_t extra_bits[kLongestRun + 1];
    uint8_t extra[kLongestRun + 1];
    uint8_t symbol_extra_bits[kLiteralLengthCodes];

    constexpr LengthCodes() : symbol(), extra_bits(), extra(), symbol_extra_bits() {
        constexpr uint16_t kBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                        31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
        constexpr uint8_t kExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                        2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
        for (int code = 0; code < 29; ++code) {
            // 258 has a symbol of its own, though the one before could reach it.
            const int last = code == 28 ? 258 : kBase[code + 1] - 1;
            symbol_extra_bits[257 + code] = kExtra[code];
            for (int length = kBase[code]; length <= last; ++length) {
                symbol[length] = static_cast<uint16_t>(257 + code);
                extra_bits[length] = kExtra[code];
                extra[length] = static_cast<uint8_t>(length - kBase[code]);
            }
        }
    }
};
constexpr LengthCodes kLengths{};

// The fixed codes' lengths (a block type of their own, no table sent).
struct FixedLengths {
    uint8_t literal_length[kFixedLiteralLengthCodes];
    uint8_t distance[kDistanceCodes];
    constexpr FixedLengths() : literal_length(), distance() {
        for (int s = 0; s < kFixedLiteralLengthCodes; ++s)
            literal_length[s] = s < 144 ? 8 : s < 256 ? 9 : s < 280 ? 7 : 8;
        for (int s = 0; s < kDistanceCodes; ++s) distance[s] = 5;
    }
};
constexpr FixedLengths kFixed{};

// The order the code length code's lengths are sent in.
constexpr uint8_t kCodeLengthOrder[kCodeLengthCodes] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                        11, 4,  12, 3, 13, 2, 14, 1, 15};

// Bits into bytes, first bit lowest, as deflate packs them. Each put
// stores eight bytes and moves on by the whole ones, so that fewer than 8
// bits wait; where fewer than eight bytes are left nothing is written and
// the stream is marked full.
class BitWriter {
  public:
    BitWriter(uint8_t* at, uint8_t* end) : at_(at), end_(end) {}

    // At most 56 bits.
    void put(uint64_t bits, int count) {
        pending_ |= bits << filled_;
        filled_ += count;
        if (end_ - at_ < 8) {
            full_ = true;
            return;
        }
        store(pending_);
        const int bytes = filled_ >> 3;
        at_ += bytes;
        pending_ >>= bytes * 8;
        filled_ &= 7;
    }

    // The bits so far out to a whole byte, the last one padded with zeros.
    void align() {
        if (filled_ > 0) byte(static_cast<uint8_t>(pending_));
        filled_ = 0;
        pending_ = 0;
    }

    // Bytes as they are, after align().
    void copy(const uint8_t* bytes, size_t count) {
        if (static_cast<size_t>(end_ - at_) < count) {
            full_ = true;
            return;
        }
        if (count != 0) std::memcpy(at_, bytes, count);
        at_ += count;
    }

    void byte(uint8_t value) {
        if (at_ == end_) {
            full_ = true;
            return;
        }
        *at_++ = value;
    }

    uint8_t* at() const { return at_; }
    bool full() const { return full_; }

  private:
    void store(uint64_t word) {
#if !defined(__BYTE_ORDER__) || __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
        std::memcpy(at_, &word, 8);
#else
        for (int i = 0; i < 8; ++i) at_[i] = static_cast<uint8_t>(word >> (8 * i));
#endif
    }

    uint8_t* at_;
    uint8_t* end_;
    uint64_t pending_ = 0;
    int filled_ = 0;
    bool full_ = false;
};

// How many bytes from `bytes` on equal `value`, at most `most`.
size_t run_of(const uint8_t* bytes, uint8_t value, size_t most) {
    size_t count = 0;
#if !defined(__BYTE_ORDER__) || __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    // Eight at a time: the lowest differing byte of the word ends the run.
    const uint64_t pattern = 0x0101010101010101ULL * value;
    for (; count + 8 <= most; count += 8) {
        uint64_t word;
        std::memcpy(&word, bytes + count, 8);
        const uint64_t differ = word ^ pattern;
        if (differ != 0) return count + static_cast<size_t>(__builtin_ctzll(differ) >> 3);
    }
#endif
    while (count < most && bytes[count] == value) ++count;
    return count;
}

struct Counts {
    uint32_t literal_length[kLiteralLengthCodes];
    uint32_t distance[kDistanceCodes];
};

// Bits of a block's symbols under the given code lengths (its end included).
uint64_t data_bits(const Counts& counts, const uint8_t* literal_length, const uint8_t* distance) {
    uint64_t bits = 0;
    for (int s = 0; s < kLiteralLengthCodes; ++s)
        bits += uint64_t{counts.literal_length[s]} * (literal_length[s] + kLengths.symbol_extra_bits[s]);
    // Runs are one byte back: distance code 0, which has no extra bits.
    for (int s = 0; s < kDistanceCodes; ++s) bits += uint64_t{counts.distance[s]} * distance[s];
    return bits;
}

// A dynamic block's code table, as it is sent: both codes' lengths run-length
// coded by the code length code.
struct Table {
    int literal_lengths = 0;  // HLIT + 257
    int distances = 0;        // HDIST + 1
    int order_sent = 0;       // HCLEN + 4
    uint8_t symbols[kLiteralLengthCodes + kDistanceCodes];
    uint8_t extra[kLiteralLengthCodes + kDistanceCodes];
    int count = 0;
    uint8_t lengths[kCodeLengthCodes];
    uint32_t codes[kCodeLengthCodes];
    uint64_t bits = 0;

    Table(const uint8_t* literal_length, const uint8_t* distance) {
        literal_lengths = kLiteralLengthCodes;
        while (literal_lengths > 257 && literal_length[literal_lengths - 1] == 0) --literal_lengths;
        distances = kDistanceCodes;
        while (distances > 1 && distance[distances - 1] == 0) --distances;
        uint8_t all[kLiteralLengthCodes + kDistanceCodes];
        std::memcpy(all, literal_length, static_cast<size_t>(literal_lengths));
        std::memcpy(all + literal_lengths, distance, static_cast<size_t>(distances));
        run_length(all, literal_lengths + distances);
        uint32_t counts[kCodeLengthCodes] = {};
        for (int i = 0; i < count; ++i) ++counts[symbols[i]];
        code_lengths(counts, kCodeLengthCodes, kMostCodeLengthBits, lengths);
        canonical_codes(lengths, kCodeLengthCodes, codes);
        order_sent = kCodeLengthCodes;
        while (order_sent > 4 && lengths[kCodeLengthOrder[order_sent - 1]] == 0) --order_sent;
        bits = 5 + 5 + 4 + 3 * static_cast<uint64_t>(order_sent);
        for (int i = 0; i < count; ++i) bits += lengths[symbols[i]] + extra_bits(symbols[i]);
    }

    static int extra_bits(uint8_t symbol) { return symbol == 16 ? 2 : symbol == 17 ? 3 : symbol == 18 ? 7 : 0; }

    void add(int symbol, int extra_value) {
        symbols[count] = static_cast<uint8_t>(symbol);
        extra[count++] = static_cast<uint8_t>(extra_value);
    }

    // 16: the length before, 3-6 times; 17: zero 3-10 times; 18: zero 11-138 times.
    void run_length(const uint8_t* all, int total) {
        for (int at = 0; at < total;) {
            const uint8_t value = all[at];
            int run = 1;
            while (at + run < total && all[at + run] == value) ++run;
            at += run;
            if (value == 0) {
                for (; run >= 11; run -= std::min(run, 138)) add(18, std::min(run, 138) - 11);
                if (run >= 3) add(17, run - 3), run = 0;
            } else {
                add(value, 0), --run;
                for (; run >= 3; run -= std::min(run, 6)) add(16, std::min(run, 6) - 3);
            }
            for (; run > 0; --run) add(value, 0);
        }
    }

    void write(BitWriter& out) const {
        out.put(static_cast<uint32_t>(literal_lengths - 257), 5);
        out.put(static_cast<uint32_t>(distances - 1), 5);
        out.put(static_cast<uint32_t>(order_sent - 4), 4);
        for (int i = 0; i < order_sent; ++i) out.put(lengths[kCodeLengthOrder[i]], 3);
        for (int i = 0; i < count; ++i) {
            out.put(codes[symbols[i]], lengths[symbols[i]]);
            if (extra_bits(symbols[i]) != 0) out.put(extra[i], extra_bits(symbols[i]));
        }
    }
};

// Every symbol value a block holds as the bits sent for it, a run's
// distance code included: one lookup and one write a symbol.
struct SymbolCodes {
    uint32_t bits[kBlockSymbolValues];
    uint8_t count[kBlockSymbolValues];

    SymbolCodes(const uint8_t* literal_length, int literal_length_codes, const uint8_t* distance) {
        uint32_t codes[kFixedLiteralLengthCodes];
        uint32_t distance_codes[kDistanceCodes];
        canonical_codes(literal_length, literal_length_codes, codes);
        canonical_codes(distance, kDistanceCodes, distance_codes);
        for (int s = 0; s < kRunSymbol; ++s) bits[s] = codes[s], count[s] = literal_length[s];
        end_bits = codes[kEndOfBlock], end_count = literal_length[kEndOfBlock];
        for (size_t run = 0; run <= kLongestRun; ++run) {
            bits[kRunSymbol + run] = 0, count[kRunSymbol + run] = 0;
            if (run < kShortestRun) continue;
            const int symbol = kLengths.symbol[run];
            const int length_bits = literal_length[symbol];
            const int extra_bits = kLengths.extra_bits[run];
            bits[kRunSymbol + run] = codes[symbol] | uint32_t{kLengths.extra[run]} << length_bits |
                                     distance_codes[0] << (length_bits + extra_bits);
            count[kRunSymbol + run] = static_cast<uint8_t>(length_bits + extra_bits + distance[0]);
        }
    }
    uint32_t end_bits;
    uint8_t end_count;
};

// Stored blocks for `size` bytes: each a 3-bit head, up to 7 bits to the
// byte, its length and the length's complement, and the bytes.
uint64_t stored_bits(size_t size) {
    const uint64_t blocks = size / kMostStored + 1;
    return blocks * (3 + 7 + 32) + 8 * uint64_t{size};
}

void write_stored(const uint8_t* in, size_t size, bool last, BitWriter& out) {
    size_t done = 0;
    do {
        const size_t count = std::min(size - done, kMostStored);
        out.put(last && done + count == size ? 1 : 0, 3);
        out.align();
        out.byte(static_cast<uint8_t>(count)), out.byte(static_cast<uint8_t>(count >> 8));
        out.byte(static_cast<uint8_t>(~count)), out.byte(static_cast<uint8_t>(~count >> 8));
        out.copy(in + done, count);
        done += count;
    } while (done < size);
}

// One block, the cheapest way of three: its own codes and their table, the
// fixed codes, or stored.
void write_block(const uint8_t* in, size_t size, const uint16_t* symbols, size_t count, const Counts& counts, bool last,
                 BitWriter& out) {
    uint8_t literal_length[kLiteralLengthCodes];
    uint8_t distance[kDistanceCodes];
    code_lengths(counts.literal_length, kLiteralLengthCodes, kMostBits, literal_length);
    code_lengths(counts.distance, kDistanceCodes, kMostBits, distance);
    const Table table(literal_length, distance);
    const uint64_t own = table.bits + data_bits(counts, literal_length, distance);
    const uint64_t fixed = data_bits(counts, kFixed.literal_length, kFixed.distance);
    if (stored_bits(size) < std::min(own, fixed) + 3) {
        write_stored(in, size, last, out);
        return;
    }
    const bool use_fixed = fixed <= own;
    out.put((last ? 1 : 0) | (use_fixed ? 1 : 2) << 1, 3);
    if (!use_fixed) table.write(out);
    const SymbolCodes codes(use_fixed ? kFixed.literal_length : literal_length,
                            use_fixed ? kFixedLiteralLengthCodes : kLiteralLengthCodes,
                            use_fixed ? kFixed.distance : distance);
    // Two symbols a write: at most 25 bits each (a 15-bit length code, 5
    // extra bits, a distance code of at most 5), 50 with the 7 waiting.
    size_t i = 0;
    for (; i + 2 <= count; i += 2) {
        const uint16_t first = symbols[i], second = symbols[i + 1];
        out.put(codes.bits[first] | uint64_t{codes.bits[second]} << codes.count[first],
                codes.count[first] + codes.count[second]);
    }
    if (i < count) out.put(codes.bits[symbols[i]], codes.count[symbols[i]]);
    out.put(codes.end_bits, codes.end_count);
}

// The top bit of each byte of `word` that is zero, no other bits.
uint64_t zero_bytes(uint64_t word) {
    constexpr uint64_t kLow7 = 0x7F7F7F7F7F7F7F7FULL;
    return ~(((word & kLow7) + kLow7) | word | kLow7);
}

// For each of the eight bytes from `at` on, whether it equals the byte
// before it: the top bit of its byte in the result.
uint64_t repeats(const uint8_t* in, size_t at) {
    uint64_t here, before;
    std::memcpy(&here, in + at, 8);
    std::memcpy(&before, in + at - 1, 8);
    return zero_bytes(here ^ before);
}

// The symbols of `in` from `at` on, until a block's worth or the input's
// end: a run of at least kShortestRun repeats of the byte before (which
// may be in the block before), else the byte itself. Returns where the
// block ends.
size_t symbols_of(const uint8_t* in, size_t size, size_t at, uint16_t* symbols, size_t* count_out) {
    const size_t most = RunDeflater::kBlockSymbols;
    size_t count = 0;
    while (at < size && count < most) {
        // Eight at a time while none of them starts a run, which takes the
        // byte and the two after it all repeating the one before (grainy
        // colours are mostly such stretches). Byte order does not matter:
        // the same lanes of the three words are compared.
        if (at > 0 && size - at >= 10 && most - count >= 8 &&
            (repeats(in, at) & repeats(in, at + 1) & repeats(in, at + 2)) == 0) {
            for (size_t k = 0; k < 8; ++k) symbols[count + k] = in[at + k];
            count += 8, at += 8;
            continue;
        }
        const uint8_t value = in[at];
        if (at > 0 && value == in[at - 1]) {
            const size_t run = run_of(in + at, value, std::min(kLongestRun, size - at));
            if (run >= kShortestRun) {
                symbols[count++] = static_cast<uint16_t>(kRunSymbol + run);
                at += run;
                continue;
            }
        }
        symbols[count++] = value;
        ++at;
    }
    *count_out = count;
    return at;
}

// How often each code is used: four tables taken in turn, so that a value
// that repeats does not wait on its own count's last increment.
void count_symbols(const uint16_t* symbols, size_t count, Counts* counts) {
    uint32_t tables[4][kBlockSymbolValues] = {};
    size_t i = 0;
    for (; i + 4 <= count; i += 4) {
        ++tables[0][symbols[i]], ++tables[1][symbols[i + 1]];
        ++tables[2][symbols[i + 2]], ++tables[3][symbols[i + 3]];
    }
    for (; i < count; ++i) ++tables[0][symbols[i]];
    *counts = Counts{};
    for (size_t value = 0; value < kBlockSymbolValues; ++value) {
        const uint32_t seen = tables[0][value] + tables[1][value] + tables[2][value] + tables[3][value];
        if (value < kRunSymbol) {
            counts->literal_length[value] = seen;
        } else if (seen != 0) {
            counts->literal_length[kLengths.symbol[value - kRunSymbol]] += seen;
            counts->distance[0] += seen;
        }
    }
    counts->literal_length[kEndOfBlock] = 1;
}

}  // namespace

size_t RunDeflater::bound(size_t size) {
    // Each block costs at most its bytes stored: five bytes a stored block
    // and one to the byte, with a block at least every kBlockSymbols bytes;
    // then the stream's header and check, and the writer's last word.
    const size_t blocks = size / kBlockSymbols + 1;
    const size_t stored = size / kMostStored + blocks;
    return size + 6 * stored + 2 + 4 + 8;
}

size_t RunDeflater::compress(const uint8_t* in, size_t size, uint8_t* out, size_t room) {
    if (room < bound(size)) return 0;
    const size_t wanted = working_bytes(size) / sizeof(uint16_t);
    if (room_ < wanted) {
        symbols_.reset();
        room_ = 0;
        symbols_.reset(new uint16_t[wanted]);
        room_ = wanted;
    }
    uint16_t* const symbols = symbols_.get();
    // 32 K window, no preset dictionary, the check bits making it a
    // multiple of 31.
    out[0] = 0x78, out[1] = 0x01;
    constexpr size_t kCheck = 4;
    BitWriter bits(out + 2, out + room - kCheck);
    size_t at = 0;
    do {
        const size_t from = at;
        size_t count = 0;
        at = symbols_of(in, size, at, symbols, &count);
        Counts counts;
        count_symbols(symbols, count, &counts);
        write_block(in + from, at - from, symbols, count, counts, at == size, bits);
    } while (at < size);
    bits.align();
    if (bits.full()) return 0;
    uint8_t* end = bits.at();
    const uint32_t check = libdeflate_adler32(1, in, size);
    end[0] = static_cast<uint8_t>(check >> 24), end[1] = static_cast<uint8_t>(check >> 16);
    end[2] = static_cast<uint8_t>(check >> 8), end[3] = static_cast<uint8_t>(check);
    return static_cast<size_t>(end + kCheck - out);
}

}  // namespace pngio
