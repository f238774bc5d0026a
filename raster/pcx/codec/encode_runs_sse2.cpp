// The PCX run coder with SSE2: stretches of bytes that stay as they are are
// found and copied sixteen at a time, and runs measured sixteen bytes per
// comparison. Gives exactly the plain coder's bytes.
#include "raster/pcx/codec/encode_lines.h"

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>

namespace raster {
namespace pcx_encoder {

namespace {

constexpr size_t kVector = 16;
constexpr size_t kLongestRun = 63;
constexpr uint8_t kRunFlag = 0xC0;

__m128i load(const uint8_t* bytes) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes)); }

uint32_t lowest_bit(uint32_t bits) { return static_cast<uint32_t>(__builtin_ctz(bits)); }

// Bit i set where byte i of the sixteen at `line` cannot stay as it is: it
// equals the byte after it (a run starts), or it is 0xC0 or above (it must be
// escaped). Reads seventeen bytes.
uint32_t stops(const uint8_t* line, __m128i bytes) {
    const __m128i same = _mm_cmpeq_epi8(bytes, load(line + 1));
    const __m128i high = _mm_cmpeq_epi8(_mm_max_epu8(bytes, _mm_set1_epi8(static_cast<char>(kRunFlag))), bytes);
    return static_cast<uint32_t>(_mm_movemask_epi8(_mm_or_si128(same, high)));
}

// The length of the run at `line`, at most 63 and at most `left` (>= 1).
size_t run_length(const uint8_t* line, size_t left) {
    const size_t most = left < kLongestRun ? left : kLongestRun;
    const __m128i value = _mm_set1_epi8(static_cast<char>(line[0]));
    size_t length = 1;
    while (length < most && left - length >= kVector) {
        const uint32_t differ =
            ~static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(load(line + length), value))) & 0xFFFFu;
        if (differ != 0) {
            length += lowest_bit(differ);
            return length < most ? length : most;
        }
        length += kVector;
    }
    while (length < most && line[length] == line[0]) ++length;
    return length < most ? length : most;
}

// Both jobs in one loop: kWrite stores the bytes, otherwise they are only
// counted. A stretch's sixteen bytes are stored whole and the output moves
// on by the part that stays, so it needs sixteen bytes of room.
template <bool kWrite>
size_t code_runs(const uint8_t* line, size_t count, uint8_t* out, size_t room) {
    size_t i = 0;
    size_t written = 0;
    while (i < count) {
        while (count - i > kVector && (!kWrite || room - written >= kVector)) {
            const __m128i bytes = load(line + i);
            const uint32_t stop = stops(line + i, bytes);
            if (kWrite) _mm_storeu_si128(reinterpret_cast<__m128i*>(out + written), bytes);
            const size_t kept = stop == 0 ? kVector : lowest_bit(stop);
            written += kept;
            i += kept;
            if (stop != 0) break;
        }
        if (i == count) break;
        const uint8_t value = line[i];
        const size_t length = run_length(line + i, count - i);
        if (length > 1 || value >= kRunFlag) {
            if (kWrite) out[written] = static_cast<uint8_t>(kRunFlag | length);
            ++written;
        }
        if (kWrite) out[written] = value;
        ++written;
        i += length;
    }
    return written;
}

}  // namespace

size_t encode_runs_sse2(const uint8_t* line, size_t count, uint8_t* out, size_t room) {
    return code_runs<true>(line, count, out, room);
}

size_t count_runs_sse2(const uint8_t* line, size_t count) { return code_runs<false>(line, count, nullptr, 0); }

}  // namespace pcx_encoder
}  // namespace raster

#endif
