// pcx_display's file handling, observed through the stand-in: the exact
// sequence of KERNEL32 calls, reads that are cut short, failures to open, and
// a file closed on every way out.
#include <gtest/gtest.h>

#include <windows.h>

#include <raster/raster.h>
#include <standin/probe.h>

#include <cstdint>
#include <filesystem>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "library_env.h"
#include "pcx_writer.h"
#include "raster/state.h"

namespace {

using Bytes = std::vector<uint8_t>;
using standin::probe::Call;

constexpr uint8_t kSentinel = 0xA5;

std::intptr_t arg(const void* p) { return reinterpret_cast<std::intptr_t>(p); }

class PcxReaderFiles : public testing::Test {
  protected:
    void SetUp() override {
        standin::probe::reset();
        palette_ = testenv::start_library();
        path_ =
            (std::filesystem::temp_directory_path() / ("pcx_probe_" + std::to_string(std::random_device{}()) + ".pcx"))
                .string();
    }
    void TearDown() override {
        standin::probe::journal_enable(false);
        standin::probe::cut_reads_after(-1);
        testenv::stop_library(palette_);
        std::filesystem::remove(path_);
    }

    int32_t surface(int bpp, int width, int height) {
        surface_set_depth(bpp);
        const int32_t handle = testenv::make_selected_surface(width, height);
        EXPECT_GE(handle, 0);
        testenv::fill_surface(handle, kSentinel);
        return handle;
    }

    // Runs pcx_display on the bytes as a file; returns the file calls made.
    std::vector<Call> run(const Bytes& bytes, int32_t flags, int32_t* result) {
        EXPECT_TRUE(pcxwrite::write_file(path_, bytes));
        standin::probe::journal_take();
        standin::probe::journal_enable(true);
        *result = pcx_display(path_.c_str(), flags);
        standin::probe::journal_enable(false);
        std::vector<Call> file_calls;
        for (const Call& c : standin::probe::journal_take()) {
            if (c.function == "CreateFileA" || c.function == "ReadFile" || c.function == "SetFilePointer" ||
                c.function == "CloseHandle") {
                file_calls.push_back(c);
            }
        }
        return file_calls;
    }

    HPALETTE palette_ = nullptr;
    std::string path_;
};

// A 256-colour picture whose data is longer than two blocks.
Bytes big_picture(int* data_bytes) {
    pcxwrite::Picture p;
    p.width = 101;
    p.height = 90;
    for (int i = 0; i < p.width * p.height; ++i) p.indices.push_back(static_cast<uint8_t>((i * 7919) % 251));
    for (int i = 0; i < 256; ++i) {
        p.palette[i * 3] = static_cast<uint8_t>(i);
        p.palette[i * 3 + 1] = static_cast<uint8_t>(255 - i);
        p.palette[i * 3 + 2] = static_cast<uint8_t>(i * 3);
    }
    pcxwrite::Options o;
    const Bytes bytes = pcxwrite::encode(p, o);
    *data_bytes = static_cast<int>(bytes.size()) - 128 - 769;
    return bytes;
}

void expect_read(const Call& c, std::intptr_t handle, const void* dest, std::intptr_t size) {
    EXPECT_EQ(c.function, "ReadFile");
    ASSERT_EQ(c.args.size(), 5u);
    EXPECT_EQ(c.args[0], handle);
    EXPECT_EQ(c.args[1], arg(dest));
    EXPECT_EQ(c.args[2], size);
    EXPECT_EQ(c.args[3], arg(&raster::state.bytes_read));
    EXPECT_EQ(c.args[4], 0);
}

void expect_seek(const Call& c, std::intptr_t handle, std::intptr_t distance, std::intptr_t method) {
    EXPECT_EQ(c.function, "SetFilePointer");
    ASSERT_EQ(c.args.size(), 4u);
    EXPECT_EQ(c.args[0], handle);
    EXPECT_EQ(c.args[1], distance);
    EXPECT_EQ(c.args[2], 0);
    EXPECT_EQ(c.args[3], method);
}

TEST_F(PcxReaderFiles, EightBitSurfaceReadsBlocksThenTheTrailer) {
    surface(8, 104, 90);
    int data_bytes = 0;
    const Bytes file = big_picture(&data_bytes);
    ASSERT_GT(data_bytes, 2 * 4096);
    int32_t result = -1;
    const std::vector<Call> calls = run(file, PCX_KEEP_INDICES, &result);
    EXPECT_EQ(result, PCX_OK);
    // Blocks until the last line is decoded: the data, and perhaps part of
    // the trailer, in 4096-byte reads.
    const int blocks = (data_bytes + 4095) / 4096;
    ASSERT_EQ(calls.size(), 1u + 1u + blocks + 3u + 1u);
    const Call& open = calls[0];
    EXPECT_EQ(open.function, "CreateFileA");
    ASSERT_EQ(open.args.size(), 7u);
    EXPECT_EQ(open.args[0], arg(path_.c_str()));
    EXPECT_EQ(static_cast<DWORD>(open.args[1]), GENERIC_READ);
    EXPECT_EQ(open.args[2], FILE_SHARE_READ);
    EXPECT_EQ(open.args[3], 0);
    EXPECT_EQ(open.args[4], OPEN_EXISTING);
    EXPECT_EQ(open.args[5], 0);
    EXPECT_EQ(open.args[6], 0);
    const std::intptr_t handle = open.result;
    expect_read(calls[1], handle, raster::state.pcx_header, 128);
    for (int b = 0; b < blocks; ++b) expect_read(calls[2 + b], handle, raster::state.work_buffer, 4096);
    expect_seek(calls[2 + blocks], handle, -769, FILE_END);
    expect_read(calls[3 + blocks], handle, raster::state.scratch_area, 769);
    expect_seek(calls[4 + blocks], handle, 128, FILE_BEGIN);
    EXPECT_EQ(calls[5 + blocks].function, "CloseHandle");
    EXPECT_EQ(calls[5 + blocks].args[0], handle);
    EXPECT_EQ(standin::probe::open_files(), 0);
}

TEST_F(PcxReaderFiles, DeepSurfaceReadsTheTrailerBeforeTheFirstBlock) {
    const int32_t surface_handle = surface(32, 104, 90);
    int data_bytes = 0;
    const Bytes file = big_picture(&data_bytes);
    int32_t result = -1;
    const std::vector<Call> calls = run(file, 0, &result);
    EXPECT_EQ(result, PCX_OK);
    ASSERT_GE(calls.size(), 7u);
    const std::intptr_t handle = calls[0].result;
    expect_read(calls[1], handle, raster::state.pcx_header, 128);
    expect_seek(calls[2], handle, -769, FILE_END);
    expect_read(calls[3], handle, raster::state.scratch_area, 769);
    expect_seek(calls[4], handle, 128, FILE_BEGIN);
    expect_read(calls[5], handle, raster::state.work_buffer, 4096);
    EXPECT_EQ(calls.back().function, "CloseHandle");
    // Pixels were converted with the file's colours, so those were in place
    // before the first one: index i is (i, 255 - i, 3i) -> B, G, R, 0.
    for (int x : {0, 1, 100}) {
        SCOPED_TRACE(x);
        const int index = (x * 7919) % 251;
        const uint8_t* pixel = testenv::pixel_address(surface_handle, x, 0);
        EXPECT_EQ(Bytes(pixel, pixel + 4), (Bytes{static_cast<uint8_t>(index * 3), static_cast<uint8_t>(255 - index),
                                                  static_cast<uint8_t>(index), 0}));
    }
}

TEST_F(PcxReaderFiles, ReadsCutShortStopReadingAndKeepStaleRows) {
    const int32_t handle = surface(8, 4, 4);
    pcxwrite::Picture p;
    p.width = 3;
    p.height = 4;
    p.indices = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    pcxwrite::Options o;
    o.version = 5;
    const Bytes file = pcxwrite::encode(p, o);
    // Header plus the first line and a half: 01 02 03 00 | 04 05.
    standin::probe::cut_reads_after(128 + 6);
    int32_t result = -1;
    const std::vector<Call> calls = run(file, PCX_KEEP_INDICES, &result);
    EXPECT_EQ(result, PCX_OK);
    const Bytes expected = {1, 2, 3, kSentinel, 4, 5, 3, kSentinel, 4, 5, 3, kSentinel, 4, 5, 3, kSentinel};
    EXPECT_EQ(testenv::surface_rows(handle), expected);
    // Header, one block with data, one empty block, then the trailer attempt
    // (which reads nothing: the header colours are used) and the close.
    std::vector<std::string> names;
    for (const Call& c : calls) names.push_back(c.function);
    EXPECT_EQ(names, (std::vector<std::string>{"CreateFileA", "ReadFile", "ReadFile", "ReadFile", "SetFilePointer",
                                               "ReadFile", "SetFilePointer", "CloseHandle"}));
    for (int i = 0; i < 16; ++i) {
        const PALETTEENTRY& e = raster::state.logical_palette.palPalEntry[10 + i];
        EXPECT_EQ(e.peRed, p.palette[i * 3]) << i;
    }
}

TEST_F(PcxReaderFiles, HeaderCutShortIsRefusedAndClosed) {
    const int32_t handle = surface(8, 4, 2);
    pcxwrite::Picture p;
    p.width = 3;
    p.height = 2;
    p.indices = {1, 2, 3, 4, 5, 6};
    standin::probe::cut_reads_after(127);
    int32_t result = -1;
    const std::vector<Call> calls = run(pcxwrite::encode(p, pcxwrite::Options{}), 0, &result);
    EXPECT_EQ(result, PCX_BAD_HEADER);
    EXPECT_EQ(calls.back().function, "CloseHandle");
    EXPECT_EQ(standin::probe::open_files(), 0);
    EXPECT_EQ(testenv::surface_rows(handle), Bytes(8, kSentinel));
}

TEST_F(PcxReaderFiles, OpenFailureMakesNoOtherCall) {
    surface(8, 4, 2);
    standin::probe::fail_next(standin::probe::Fault::CreateFileA);
    int32_t result = -1;
    const std::vector<Call> calls = run(Bytes(200, 10), 0, &result);
    EXPECT_EQ(result, PCX_OPEN_FAILED);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].function, "CreateFileA");
    EXPECT_EQ(standin::probe::open_files(), 0);
}

TEST_F(PcxReaderFiles, EveryRefusalClosesTheFile) {
    pcxwrite::Picture p;
    p.width = 3;
    p.height = 2;
    p.indices = {1, 2, 3, 4, 5, 6};
    const Bytes good = pcxwrite::encode(p, pcxwrite::Options{});
    struct Case {
        const char* name;
        int bpp;
        std::vector<std::pair<int, uint8_t>> changes;  // byte offset, new value
        int32_t result;
    } cases[] = {
        {"manufacturer 9", 8, {{0, 9}}, PCX_BAD_HEADER},
        {"Xmax below Xmin", 8, {{4, 5}, {8, 4}}, PCX_BAD_HEADER},
        {"bits per pixel 5", 8, {{3, 5}}, PCX_BAD_LAYOUT},
        {"true colour into 8 bits", 8, {{65, 3}}, PCX_BAD_LAYOUT},
        {"BytesPerLine 0", 8, {{66, 0}, {67, 0}}, PCX_BAD_LAYOUT},
        {"Xmin past the surface", 8, {{4, 200}, {8, 202}}, PCX_OUTSIDE},
        {"stored", 16, {}, PCX_OK},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        surface(c.bpp, 8, 2);
        Bytes file = good;
        for (const auto& change : c.changes) file[static_cast<size_t>(change.first)] = change.second;
        int32_t result = -1;
        const std::vector<Call> calls = run(file, 0, &result);
        EXPECT_EQ(result, c.result);
        ASSERT_FALSE(calls.empty());
        EXPECT_EQ(calls.back().function, "CloseHandle");
        EXPECT_EQ(standin::probe::open_files(), 0);
        surface_deselect();
    }
}

TEST_F(PcxReaderFiles, BufferModeOpensNoFile) {
    surface(8, 4, 2);
    pcxwrite::Picture p;
    p.width = 3;
    p.height = 2;
    p.indices = {1, 2, 3, 4, 5, 6};
    const Bytes file = pcxwrite::encode(p, pcxwrite::Options{});
    pcx_set_buffer(file.data(), static_cast<uint32_t>(file.size()));
    standin::probe::journal_take();
    standin::probe::journal_enable(true);
    EXPECT_EQ(pcx_display(path_.c_str(), PCX_FROM_BUFFER | PCX_KEEP_INDICES), PCX_OK);
    standin::probe::journal_enable(false);
    pcx_set_buffer(nullptr, 0);
    for (const Call& c : standin::probe::journal_take()) {
        EXPECT_NE(c.function, "CreateFileA");
        EXPECT_NE(c.function, "ReadFile");
        EXPECT_NE(c.function, "CloseHandle");
    }
}

}  // namespace
