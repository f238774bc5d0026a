// RASTER_CPU chooses what it names: each name (and an unknown one, and
// none) in a child process, whose level and tables in use are checked
// against what this processor runs, found out here on its own. The
// variable is read once per process, so each choice needs a process of its
// own; the suite's other programs run whole under one RASTER_CPU and could
// not tell a cap that chose the plain paths from one that chose SSE2.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "cpu/cpu.h"
#include "raster/pcx/codec/encode_lines.h"
#include "raster/pixel/kernels.h"

namespace {

const char* g_self = nullptr;

// The child's report: the level, then for each table which variant it is.
int report() {
    const auto which = [](const void* chosen, const void* avx2, const void* sse2) {
        return chosen == avx2 ? "avx2" : chosen == sse2 ? "sse2" : "plain";
    };
    namespace px = raster::pixel;
    namespace pe = raster::pcx_encoder;
    std::printf("level=%d kernels=%s coder=%s\n", static_cast<int>(fastpath::cpu_level()),
                which(&px::kernels(), px::avx2_kernels(), px::sse2_kernels()),
                which(&pe::line_coder(), pe::avx2_line_coder(), pe::sse2_line_coder()));
    return 0;
}

// What this processor and build run, widest first: 2 AVX2, 1 SSE2, 0 plain.
int widest() {
#if defined(FASTPATH_AVX2)
    if (__builtin_cpu_supports("avx2")) return 2;
#endif
#if defined(__SSE2__)
    return 1;
#else
    return 0;
#endif
}

std::string child_report(const char* value) {
    std::string command = value != nullptr ? "RASTER_CPU='" + std::string(value) + "' " : "env -u RASTER_CPU ";
    command += "'" + std::string(g_self) + "' --report-cpu";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return "popen failed";
    char line[256] = {};
    const bool read = std::fgets(line, sizeof line, pipe) != nullptr;
    const int status = pclose(pipe);
    if (!read || status != 0) return "child failed: " + std::to_string(status);
    return line;
}

TEST(CpuChoice, EachNameCapsTheLevelAndTheTablesInUse) {
    const char* names[] = {"plain", "sse2", "avx2"};
    const int top = widest();
    for (int cap = 0; cap < 3; ++cap) {
        const int level = cap < top ? cap : top;
        const std::string expected =
            "level=" + std::to_string(level) + " kernels=" + names[level] + " coder=" + names[level] + "\n";
        EXPECT_EQ(child_report(names[cap]), expected) << "RASTER_CPU=" << names[cap];
    }
    // Anything else, and no variable, caps nothing.
    const std::string uncapped =
        "level=" + std::to_string(top) + " kernels=" + names[top] + " coder=" + names[top] + "\n";
    EXPECT_EQ(child_report("SSE2"), uncapped) << "names are lower case";
    EXPECT_EQ(child_report("mmx"), uncapped);
    EXPECT_EQ(child_report(""), uncapped);
    EXPECT_EQ(child_report(nullptr), uncapped);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "--report-cpu") == 0) return report();
    g_self = argv[0];
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
