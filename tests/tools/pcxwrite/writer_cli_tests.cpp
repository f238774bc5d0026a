// The pcxwrite command: its output must be exactly what the writer library
// makes of the same picture and options.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "pcx_writer.h"

namespace {

using Bytes = std::vector<uint8_t>;

// A fresh name per fixture: suites run in parallel, and several builds may
// run the same suite at once.
std::filesystem::path temp(const char* name) {
    const std::string unique = std::to_string(std::random_device{}()) + "_" + name;
    return std::filesystem::temp_directory_path() / unique;
}

void write_bytes(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

Bytes read_bytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

int run(const std::string& arguments) {
    const std::string command = std::string("\"") + PCXWRITE_COMMAND + "\" " + arguments;
    return std::system(command.c_str());
}

class PcxWriteCommand : public testing::Test {
  protected:
    void TearDown() override {
        std::filesystem::remove(input_);
        std::filesystem::remove(output_);
    }
    std::filesystem::path input_ = temp("pcxwrite_cli_in.ppm");
    std::filesystem::path output_ = temp("pcxwrite_cli_out.pcx");
};

TEST_F(PcxWriteCommand, ColourPictureBecomesSixteenColourFile) {
    // 3 x 2 with three colours; indices follow first appearance.
    write_bytes(input_, std::string("P6\n# comment\n3 2\n255\n") + std::string("\x10\x20\x30\xff\x00\x00\x10\x20\x30"
                                                                               "\x00\x00\x07\x00\x00\x07\xff\x00\x00",
                                                                               18));
    ASSERT_EQ(run("--layout 4 --version 2 --origin 3,4 --cross-runs --pad 9 \"" + input_.string() + "\" \"" +
                  output_.string() + "\""),
              0);
    pcxwrite::Picture p;
    p.width = 3;
    p.height = 2;
    p.indices = {0, 1, 0, 2, 2, 1};
    const uint8_t colours[] = {0x10, 0x20, 0x30, 0xff, 0x00, 0x00, 0x00, 0x00, 0x07};
    std::copy(colours, colours + 9, p.palette.begin());
    pcxwrite::Options o;
    o.layout = pcxwrite::Layout::FourPlane;
    o.version = 2;
    o.xmin = 3;
    o.ymin = 4;
    o.runs_cross_lines = true;
    o.pad_value = 9;
    EXPECT_EQ(read_bytes(output_), pcxwrite::encode(p, o));
    // The same colours fit the 2-bit packed layout.
    ASSERT_EQ(run("--layout p2 --version 2 --origin 3,4 --cross-runs --pad 9 \"" + input_.string() + "\" \"" +
                  output_.string() + "\""),
              0);
    o.layout = pcxwrite::Layout::PackedTwoBit;
    EXPECT_EQ(read_bytes(output_), pcxwrite::encode(p, o));
}

TEST_F(PcxWriteCommand, GreyPictureKeepsItsValuesAsIndices) {
    write_bytes(input_, std::string("P5 5 1 255\n\x00\xc8\xc8\x07\xff", 16));
    ASSERT_EQ(run("--bytes-per-line 8 \"" + input_.string() + "\" \"" + output_.string() + "\""), 0);
    pcxwrite::Picture p;
    p.width = 5;
    p.height = 1;
    p.indices = {0, 200, 200, 7, 255};
    for (int i = 0; i < 768; ++i) p.palette[i] = static_cast<uint8_t>(i / 3);
    pcxwrite::Options o;
    o.bytes_per_line = 8;
    EXPECT_EQ(read_bytes(output_), pcxwrite::encode(p, o));
}

TEST_F(PcxWriteCommand, RefusalsWriteNothing) {
    // Three colours do not fit the 1-bit layout.
    write_bytes(input_, std::string("P6 3 1 255\n\x01\x01\x01\x02\x02\x02\x03\x03\x03", 20));
    EXPECT_NE(run("--layout 1 \"" + input_.string() + "\" \"" + output_.string() + "\""), 0);
    EXPECT_FALSE(std::filesystem::exists(output_));
    EXPECT_NE(run("--layout 7 \"" + input_.string() + "\" \"" + output_.string() + "\""), 0);
    EXPECT_NE(run("--layout p8 \"" + input_.string() + "\" \"" + output_.string() + "\""), 0);
    EXPECT_FALSE(std::filesystem::exists(output_));
    EXPECT_EQ(run("--help"), 0);
    EXPECT_NE(run("\"" + input_.string() + "\""), 0);
    // Samples cut short.
    write_bytes(input_, std::string("P6 3 1 255\n\x01\x01\x01\x02", 15));
    EXPECT_NE(run("\"" + input_.string() + "\" \"" + output_.string() + "\""), 0);
    EXPECT_FALSE(std::filesystem::exists(output_));
}

TEST_F(PcxWriteCommand, OptionsAsTheOtherToolsTakeThem) {
    // --opt=value as well as --opt value; --version with a number is the
    // header's version.
    write_bytes(input_, std::string("P5 2 2 255\n\x01\x02\x03\x04", 15));
    ASSERT_EQ(run("--version=3 --pad=7 --bytes-per-line 4 \"" + input_.string() + "\" \"" + output_.string() + "\""),
              0);
    pcxwrite::Picture p;
    p.width = 2;
    p.height = 2;
    p.indices = {1, 2, 3, 4};
    for (int i = 0; i < 768; ++i) p.palette[i] = static_cast<uint8_t>(i / 3);
    pcxwrite::Options o;
    o.version = 3;
    o.pad_value = 7;
    o.bytes_per_line = 4;
    EXPECT_EQ(read_bytes(output_), pcxwrite::encode(p, o));
    // Alone, --version is the program's own, and exits 0 as --help does.
    ASSERT_EQ(run("--version > \"" + output_.string() + "\""), 0);
    const Bytes said = read_bytes(output_);
    EXPECT_EQ(std::string(said.begin(), said.end()).rfind("pcxwrite (raster) ", 0), 0u);
    // A bad value is one line naming the option, and nothing is written.
    std::filesystem::remove(output_);
    const std::string error_path = output_.string() + ".err";
    EXPECT_NE(run("--pad=256 \"" + input_.string() + "\" \"" + output_.string() + "\" 2>\"" + error_path + "\""), 0);
    EXPECT_FALSE(std::filesystem::exists(output_));
    const Bytes error = read_bytes(error_path);
    EXPECT_EQ(std::string(error.begin(), error.end()), "pcxwrite: --pad takes a number 0..255, not '256'\n");
    std::filesystem::remove(error_path);
}

}  // namespace
