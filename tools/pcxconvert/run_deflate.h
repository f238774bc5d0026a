// A zlib stream made for filtered true-colour rows: the only repeats looked
// for are runs of the byte before (distance 1), every other byte is a
// literal, and each block of symbols gets Huffman codes of its own. The
// search is a byte compare, so the time goes into counting symbols and
// writing their codes, both a few instructions a byte.
#ifndef TOOLS_PCXCONVERT_RUN_DEFLATE_H
#define TOOLS_PCXCONVERT_RUN_DEFLATE_H

#include <cstddef>
#include <cstdint>
#include <memory>

namespace pngio {

class RunDeflater {
  public:
    // Symbols a block holds before its codes are made: a block's codes cost
    // about 80 bytes, and more symbols share them; fewer follow changes in
    // the picture more closely.
    static constexpr size_t kBlockSymbols = size_t{1} << 16;

    // `in` as a zlib stream (header, deflate blocks, Adler-32 check) in
    // `out`; its size, or 0 when `room` is under bound(size).
    size_t compress(const uint8_t* in, size_t size, uint8_t* out, size_t room);

    // The most bytes compress() writes for `size` bytes: every block is
    // written the cheapest of three ways, stored among them, so it is the
    // stored size plus the blocks' own few bytes.
    static size_t bound(size_t size);

    // The memory kept from call to call for `size` bytes of input: a
    // block's symbols, no more than the bytes give.
    static size_t working_bytes(size_t size) {
        return (size < kBlockSymbols ? size + 1 : kBlockSymbols) * sizeof(uint16_t);
    }

  private:
    std::unique_ptr<uint16_t[]> symbols_;
    size_t room_ = 0;
};

}  // namespace pngio

#endif
