// The codec's multi-page container: the head it writes, byte for byte; the
// pages it lists from files built here, whole and with every table fault;
// and each listed page decoded back to the pixels it was made from.
#include <gtest/gtest.h>

#include <raster/pcx_codec.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint8_t kSentinel = 0xA5;

void put32(Bytes& bytes, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + static_cast<size_t>(i)] = static_cast<uint8_t>(value >> (8 * i));
}

// A grey picture whose pixels depend on x, y and `seed`, so that pages differ.
Bytes grey_pixels(int width, int height, int seed) {
    Bytes pixels;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) pixels.push_back(static_cast<uint8_t>(x * 7 + y * 13 + seed * 50));
    return pixels;
}

Bytes encode_grey(const Bytes& pixels, int width, int height) {
    Bytes ramp(768);
    for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = static_cast<uint8_t>(i / 3);
    Bytes file(pcx_encode(pixels.data(), width, height, width, PCX_FORMAT_INDICES, ramp.data(), 256, nullptr, 0));
    EXPECT_EQ(
        pcx_encode(pixels.data(), width, height, width, PCX_FORMAT_INDICES, ramp.data(), 256, file.data(), file.size()),
        file.size());
    return file;
}

// A table written by hand: the mark, `offsets` and (when `ended`) a zero,
// then `pages` from byte `first` on (the bytes between are zero).
Bytes hand_table(const std::vector<uint32_t>& offsets, bool ended, size_t size) {
    Bytes file(size, 0);
    put32(file, 0, PCX_DCX_MARK);
    for (size_t i = 0; i < offsets.size(); ++i) put32(file, 4 + 4 * i, offsets[i]);
    if (!ended && size > 4 + 4 * offsets.size()) file[4 + 4 * offsets.size()] = 0x55;
    return file;
}

struct Listing {
    int32_t result;
    pcx_dcx_facts facts;
    std::vector<pcx_dcx_page> pages;
};

// Lists from the head only, as a tool that never reads past the table does.
Listing list(const Bytes& file) {
    Listing out{};
    out.pages.resize(PCX_DCX_MAX_PAGES);
    const size_t head = std::min<size_t>(file.size(), PCX_DCX_HEAD_BYTES);
    out.result = pcx_dcx_list(file.data(), head, file.size(), &out.facts, out.pages.data(), PCX_DCX_MAX_PAGES);
    out.pages.resize(static_cast<size_t>(std::max(out.facts.pages, 0)));
    return out;
}

class DcxFile : public ::testing::Test {
  protected:
    // Three grey pages of different sizes, laid out as pcx_dcx_head says.
    void SetUp() override {
        for (int p = 0; p < 3; ++p) {
            pixels.push_back(grey_pixels(kWidths[p], kHeights[p], p));
            pictures.push_back(encode_grey(pixels.back(), kWidths[p], kHeights[p]));
            sizes.push_back(pictures.back().size());
        }
        file.assign(PCX_DCX_HEAD_BYTES, kSentinel);
        ASSERT_EQ(pcx_dcx_head(sizes.data(), 3, file.data(), file.size()), 4100u);
        for (const Bytes& picture : pictures) file.insert(file.end(), picture.begin(), picture.end());
    }

    // Decodes page `p` of `bytes` from its listed extent.
    Bytes decode_page(const Bytes& bytes, const pcx_dcx_page& page, pcx_facts& facts) {
        Bytes out(bytes.size() * 2 + 65536, kSentinel);
        const auto* start = bytes.data() + page.offset;
        EXPECT_EQ(pcx_decode(start, static_cast<size_t>(page.extent), PCX_FORMAT_INDICES, out.data(), out.size(),
                             facts.width > 0 ? facts.width : 1, &facts),
                  PCX_OK);
        return out;
    }

    static constexpr int kWidths[3] = {31, 64, 5};
    static constexpr int kHeights[3] = {20, 3, 40};
    std::vector<Bytes> pixels, pictures;
    std::vector<uint64_t> sizes;
    Bytes file;
};

TEST_F(DcxFile, HeadIsTheMarkTheOffsetsAndZerosUpToTheFirstPage) {
    Bytes expected(4100, 0);
    const uint8_t mark[4] = {0xB1, 0x68, 0xDE, 0x3A};
    std::memcpy(expected.data(), mark, 4);
    put32(expected, 4, 4100);
    put32(expected, 8, static_cast<uint32_t>(4100 + sizes[0]));
    put32(expected, 12, static_cast<uint32_t>(4100 + sizes[0] + sizes[1]));
    EXPECT_EQ(Bytes(file.begin(), file.begin() + 4100), expected);
    EXPECT_EQ(pcx_is_dcx(file.data(), 4), 1);
    EXPECT_EQ(pcx_is_dcx(file.data(), 3), 0);
    EXPECT_EQ(pcx_is_dcx(pictures[0].data(), pictures[0].size()), 0);
}

TEST_F(DcxFile, HeadRefusesWithoutWritingAndAsksItsSize) {
    Bytes out(4101, kSentinel);
    EXPECT_EQ(pcx_dcx_head(sizes.data(), 3, out.data(), 4099), 4100u);  // too small: size only
    EXPECT_EQ(out, Bytes(4101, kSentinel));
    EXPECT_EQ(pcx_dcx_head(sizes.data(), 3, nullptr, 0), 4100u);
    const std::vector<uint64_t> tiny = {200, 127};
    const std::vector<uint64_t> huge = {0xFFFFFFFFull - 4100, 200, 200};
    const std::vector<uint64_t> many(1024, 200);
    EXPECT_EQ(pcx_dcx_head(tiny.data(), 2, out.data(), out.size()), 0u);
    EXPECT_EQ(pcx_dcx_head(huge.data(), 3, out.data(), out.size()), 0u);
    EXPECT_EQ(pcx_dcx_head(huge.data(), 2, out.data(), out.size()), 4100u);  // the second starts at 2^32 - 1
    EXPECT_EQ(pcx_dcx_head(many.data(), 1024, out.data(), out.size()), 0u);
    EXPECT_EQ(pcx_dcx_head(many.data(), 0, out.data(), out.size()), 0u);
    EXPECT_EQ(pcx_dcx_head(nullptr, 1, out.data(), out.size()), 0u);
    EXPECT_EQ(out[4100], kSentinel);
}

TEST_F(DcxFile, ListsEveryPageFromTheHeadAndEachDecodesToItsPixels) {
    const Listing l = list(file);
    ASSERT_EQ(l.result, PCX_OK);
    EXPECT_EQ(l.facts.faults, 0);
    EXPECT_EQ(l.facts.table_bytes, 4 + 4 * 4);
    ASSERT_EQ(l.facts.pages, 3);
    int64_t at = 4100;
    for (size_t p = 0; p < 3; ++p) {
        EXPECT_EQ(l.pages[p].offset, at);
        EXPECT_EQ(l.pages[p].extent, static_cast<int64_t>(sizes[p]));
        EXPECT_EQ(l.pages[p].faults, 0);
        at += static_cast<int64_t>(sizes[p]);
        pcx_dcx_page page = l.pages[p];
        EXPECT_EQ(pcx_dcx_check_page(file.data() + page.offset, 128, &page), PCX_OK);
        EXPECT_EQ(page.faults, 0);
        pcx_facts facts{};
        facts.width = kWidths[p];
        const Bytes out = decode_page(file, page, facts);
        EXPECT_EQ(facts.damage, 0);
        EXPECT_EQ(facts.notes, 0);
        EXPECT_EQ(Bytes(out.begin(), out.begin() + static_cast<ptrdiff_t>(pixels[p].size())), pixels[p]);
        EXPECT_EQ(out[pixels[p].size()], kSentinel);
    }
}

TEST_F(DcxFile, CutInTheSecondPageLosesTheThirdAndDamagesOnlyTheSecond) {
    const size_t cut = 4100 + sizes[0] + 140;  // inside the second page's first row
    const Bytes cut_file(file.begin(), file.begin() + static_cast<ptrdiff_t>(cut));
    const Listing l = list(cut_file);
    ASSERT_EQ(l.result, PCX_OK);
    EXPECT_EQ(l.facts.faults, PCX_DCX_PAST_END);
    ASSERT_EQ(l.facts.pages, 3);
    EXPECT_EQ(l.pages[0].faults, 0);
    EXPECT_EQ(l.pages[1].faults, 0);
    EXPECT_EQ(l.pages[1].extent, 140);
    EXPECT_EQ(l.pages[2].faults, PCX_DCX_PAST_END);
    EXPECT_EQ(l.pages[2].extent, 0);
    pcx_facts first{}, second{};
    first.width = kWidths[0];
    second.width = kWidths[1];
    decode_page(cut_file, l.pages[0], first);
    decode_page(cut_file, l.pages[1], second);
    EXPECT_EQ(first.damage, 0);
    EXPECT_EQ(second.damage & PCX_DAMAGE_SHORT_DATA, PCX_DAMAGE_SHORT_DATA);
}

TEST_F(DcxFile, CapacityBelowThePageCountWritesOnlyTheFirstPages) {
    std::vector<pcx_dcx_page> pages(3);
    std::memset(pages.data(), kSentinel, sizeof(pcx_dcx_page) * 3);
    pcx_dcx_facts facts{};
    ASSERT_EQ(pcx_dcx_list(file.data(), 4100, file.size(), &facts, pages.data(), 2), PCX_OK);
    EXPECT_EQ(facts.pages, 3);
    EXPECT_EQ(pages[1].offset, static_cast<int64_t>(4100 + sizes[0]));
    const auto* last = reinterpret_cast<const uint8_t*>(&pages[2]);
    EXPECT_EQ(Bytes(last, last + sizeof(pcx_dcx_page)), Bytes(sizeof(pcx_dcx_page), kSentinel));
    EXPECT_EQ(pcx_dcx_list(file.data(), 4100, file.size(), &facts, nullptr, 0), PCX_OK);
    EXPECT_EQ(facts.pages, 3);
}

TEST(DcxTable, FaultsAreNamedPerPageAndForTheFile) {
    struct Case {
        const char* name;
        Bytes file;
        int32_t pages, faults;
        std::vector<int32_t> page_faults;
    };
    Bytes too_many(8192, 0);
    put32(too_many, 0, PCX_DCX_MARK);
    for (size_t i = 0; i < 1024; ++i) put32(too_many, 4 + 4 * i, 5000);
    const Case cases[] = {
        {"no ending zero", hand_table({12, 300}, false, 600), 2, PCX_DCX_NO_END, {0, 0}},
        {"runs off the end", hand_table({}, false, 4), 0, PCX_DCX_NO_END | PCX_DCX_NO_PAGES, {}},
        {"no pages", hand_table({}, true, 300), 0, PCX_DCX_NO_PAGES, {}},
        {"shared start",
         hand_table({200, 200, 400}, true, 600),
         3,
         PCX_DCX_OVERLAP,
         {PCX_DCX_OVERLAP, PCX_DCX_OVERLAP, 0}},
        {"inside the table", hand_table({200, 8}, true, 600), 2, PCX_DCX_OVERLAP, {0, PCX_DCX_OVERLAP}},
        {"past the end",
         hand_table({200, 500, 9000}, true, 600),
         3,
         PCX_DCX_PAST_END,
         {0, PCX_DCX_PAST_END, PCX_DCX_PAST_END}},
        {"more than 1023", too_many, 1023, PCX_DCX_TOO_MANY | PCX_DCX_OVERLAP, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Listing l = list(c.file);
        ASSERT_EQ(l.result, PCX_OK);
        EXPECT_EQ(l.facts.pages, c.pages);
        EXPECT_EQ(l.facts.faults, c.faults);
        for (size_t p = 0; p < c.page_faults.size(); ++p) EXPECT_EQ(l.pages[p].faults, c.page_faults[p]) << p;
    }
    const Listing no_end = list(hand_table({12, 300}, false, 600));
    EXPECT_EQ(no_end.facts.table_bytes, 12);  // stops where the first page starts
    EXPECT_EQ(no_end.pages[0].extent, 288);
    EXPECT_EQ(no_end.pages[1].extent, 300);
}

TEST(DcxTable, APageThatIsNoPictureIsNamedByItsHeaderCheck) {
    Bytes file = hand_table({100, 300}, true, 600);
    file[300] = 10;  // the PCX mark, then a picture of 1 x 1 at 8 bits
    file[302] = 1;
    file[303] = 8;
    file[365] = 1;
    file[366] = 2;
    const Listing l = list(file);
    pcx_dcx_page first = l.pages[0], second = l.pages[1];
    EXPECT_EQ(pcx_dcx_check_page(file.data() + 100, 128, &first), PCX_BAD_HEADER);
    EXPECT_EQ(first.faults, PCX_DCX_NOT_PCX);
    EXPECT_EQ(pcx_dcx_check_page(file.data() + 300, 128, &second), PCX_OK);
    EXPECT_EQ(second.faults, 0);
    EXPECT_EQ(pcx_dcx_check_page(file.data() + 300, 127, &second), PCX_BAD_HEADER);
    pcx_dcx_page refused = l.pages[1];
    EXPECT_EQ(pcx_dcx_check_page(file.data() + 300, 301, &refused), RASTER_REFUSED);  // beyond its extent
    EXPECT_EQ(pcx_dcx_check_page(nullptr, 128, &refused), RASTER_REFUSED);
    EXPECT_EQ(refused.faults, 0);
}

TEST(DcxTable, RefusedAndForeignInputsWriteNothing) {
    const Bytes file = hand_table({100}, true, 600);
    pcx_dcx_facts facts;
    std::memset(&facts, kSentinel, sizeof facts);
    std::vector<pcx_dcx_page> pages(1);
    EXPECT_EQ(pcx_dcx_list(file.data(), 599, 600, &facts, pages.data(), 1), RASTER_REFUSED);  // head short
    EXPECT_EQ(pcx_dcx_list(file.data(), 600, 599, &facts, pages.data(), 1), RASTER_REFUSED);  // beyond the file
    EXPECT_EQ(pcx_dcx_list(file.data(), 600, 600, &facts, nullptr, 1), RASTER_REFUSED);
    EXPECT_EQ(pcx_dcx_list(file.data(), 600, 600, &facts, pages.data(), -1), RASTER_REFUSED);
    EXPECT_EQ(pcx_dcx_list(nullptr, 0, 0, &facts, pages.data(), 1), RASTER_REFUSED);
    EXPECT_EQ(facts.pages, static_cast<int32_t>(0xA5A5A5A5u));
    Bytes picture = file;
    picture[0] = 10;
    EXPECT_EQ(pcx_dcx_list(picture.data(), 600, 600, &facts, pages.data(), 1), PCX_NOT_DCX);
    EXPECT_EQ(facts.pages, 0);
    EXPECT_STREQ(pcx_result_text(PCX_NOT_DCX), "not a DCX file (its first 4 bytes are not the DCX mark)");
    for (int32_t bit = 1; bit <= PCX_DCX_NO_PAGES; bit <<= 1) EXPECT_STRNE(pcx_dcx_fault_text(bit), "unknown fault");
    EXPECT_STREQ(pcx_dcx_fault_text(64), "unknown fault");
}

}  // namespace
