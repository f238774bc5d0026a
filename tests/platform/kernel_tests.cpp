// KERNEL32 in the stand-in: module name, version, strings, global memory
// and files.
#include <gtest/gtest.h>
#include <standin/probe.h>
#include <unistd.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace probe = standin::probe;

namespace {

class Kernel : public ::testing::Test {
  protected:
    void SetUp() override {
        probe::reset();
        char pattern[] = "/tmp/standin-kernel-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override {
        for (const std::string& file : made_) std::remove(file.c_str());
        rmdir(dir_.c_str());
    }
    // A file of n bytes 0, 1, 2, ... (mod 251) in the test's own directory.
    std::string make_file(const std::string& name, size_t n) {
        const std::string path = dir_ + "/" + name;
        FILE* f = std::fopen(path.c_str(), "wb");
        for (size_t i = 0; i < n; ++i) std::fputc(static_cast<int>(i % 251), f);
        std::fclose(f);
        made_.push_back(path);
        return path;
    }
    HANDLE open(const std::string& path) {
        return CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    }
    std::string dir_;
    std::vector<std::string> made_;
};

TEST_F(Kernel, ModuleFileNameIsTheExecutable) {
    char buffer[512];
    const DWORD n = GetModuleFileNameA(nullptr, buffer, sizeof buffer);
    ASSERT_GT(n, 0u);
    EXPECT_EQ(n, std::strlen(buffer));
    EXPECT_NE(std::string(buffer).find("platform_tests"), std::string::npos) << buffer;
    EXPECT_EQ(GetModuleFileNameA(GetModuleHandleA(nullptr), buffer, sizeof buffer), n);
    EXPECT_EQ(GetModuleHandleA("platform_tests"), GetModuleHandleA(nullptr));
    EXPECT_EQ(GetModuleHandleA("user32.dll"), nullptr);
}

TEST_F(Kernel, ModuleFileNameIsTruncatedLikeWin32) {
    probe::set_module_file_name("/games/demo/run.exe");  // 19 characters
    char buffer[32];
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(GetModuleFileNameA(nullptr, buffer, 20), 19u) << "just fits with its NUL";
    EXPECT_STREQ(buffer, "/games/demo/run.exe");

    std::memset(buffer, '#', sizeof buffer);
    SetLastError(0);
    EXPECT_EQ(GetModuleFileNameA(nullptr, buffer, 19), 19u) << "the buffer size when cut";
    EXPECT_STREQ(buffer, "/games/demo/run.ex");
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(buffer[19], '#') << "nothing written past the buffer";

    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(GetModuleFileNameA(nullptr, buffer, 1), 1u);
    EXPECT_EQ(buffer[0], '\0');
    EXPECT_EQ(buffer[1], '#');
    EXPECT_EQ(GetModuleFileNameA(nullptr, buffer, 0), 0u);
    EXPECT_EQ(buffer[1], '#');
}

TEST_F(Kernel, VersionIsAnNtPlatform) {
    const DWORD version = GetVersion();
    EXPECT_EQ(version & 0x80000000u, 0u);
    EXPECT_GE(version & 0xFF, 5u) << "major version in the low byte";
}

TEST_F(Kernel, StringCalls) {
    char buffer[32] = "dir\\";
    EXPECT_EQ(lstrlenA(buffer), 4);
    EXPECT_EQ(lstrlenA(nullptr), 0);
    EXPECT_EQ(lstrcatA(buffer, "SKY.PCX"), buffer);
    EXPECT_STREQ(buffer, "dir\\SKY.PCX");
    EXPECT_EQ(lstrcpyA(buffer, "x"), buffer);
    EXPECT_STREQ(buffer, "x");
    EXPECT_EQ(buffer[2], 'r') << "copy stops after the NUL";
    EXPECT_EQ(lstrcpyA(nullptr, "x"), nullptr);
    EXPECT_EQ(lstrcatA(buffer, nullptr), nullptr);
}

TEST_F(Kernel, MoveableGlobalMemoryIsZeroedAndLockCounted) {
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, 1064);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(probe::live_global_blocks(), 1);
    BYTE* p = static_cast<BYTE*>(GlobalLock(block));
    ASSERT_NE(p, nullptr);
    EXPECT_NE(static_cast<void*>(p), block) << "a moveable block's handle is not its address";
    for (int i = 0; i < 1064; ++i) ASSERT_EQ(p[i], 0) << i;
    std::memset(p, 0x77, 1064);
    EXPECT_EQ(GlobalLock(block), p) << "the same address while locked";
    EXPECT_TRUE(GlobalUnlock(block)) << "still locked once";
    SetLastError(5);
    EXPECT_FALSE(GlobalUnlock(block));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS)) << "FALSE with no error: now unlocked";
    EXPECT_FALSE(GlobalUnlock(block));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_LOCKED));
    EXPECT_EQ(GlobalFree(block), nullptr);
    EXPECT_EQ(probe::live_global_blocks(), 0);
    EXPECT_EQ(GlobalFree(block), block) << "a freed handle comes back as the failure";
    EXPECT_EQ(GlobalLock(block), nullptr);
    EXPECT_EQ(GlobalFree(nullptr), nullptr);
}

TEST_F(Kernel, FixedGlobalMemoryIsItsOwnAddress) {
    HGLOBAL block = GlobalAlloc(GPTR, 10);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(GlobalLock(block), block);
    EXPECT_EQ(static_cast<BYTE*>(block)[9], 0);
    EXPECT_EQ(GlobalFree(block), nullptr);
    HGLOBAL dirty = GlobalAlloc(GMEM_MOVEABLE, 4);
    EXPECT_EQ(static_cast<BYTE*>(GlobalLock(dirty))[0], 0xA5) << "no zeroing unless asked";
    GlobalUnlock(dirty);
    GlobalFree(dirty);
}

TEST_F(Kernel, ReadFileReportsShortReadsAtTheEnd) {
    const std::string path = make_file("seven.bin", 7);
    HANDLE file = open(path);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(probe::open_files(), 1);
    BYTE buffer[8];
    std::memset(buffer, 0xEE, sizeof buffer);
    DWORD got = 99;
    EXPECT_TRUE(ReadFile(file, buffer, 4, &got, nullptr));
    EXPECT_EQ(got, 4u);
    EXPECT_EQ(buffer[3], 3);
    EXPECT_TRUE(ReadFile(file, buffer, 8, &got, nullptr));
    EXPECT_EQ(got, 3u);
    EXPECT_EQ(buffer[0], 4);
    EXPECT_EQ(buffer[2], 6);
    EXPECT_EQ(buffer[3], 3) << "nothing written past what was read";
    EXPECT_TRUE(ReadFile(file, buffer, 8, &got, nullptr));
    EXPECT_EQ(got, 0u) << "end of file is success with nothing read";
    EXPECT_FALSE(ReadFile(file, buffer, 8, nullptr, nullptr));
    EXPECT_TRUE(CloseHandle(file));
    EXPECT_EQ(probe::open_files(), 0);
    EXPECT_FALSE(CloseHandle(file));
    EXPECT_FALSE(ReadFile(file, buffer, 8, &got, nullptr));
}

TEST_F(Kernel, SetFilePointerFromEachOrigin) {
    const std::string path = make_file("thousand.bin", 1000);
    HANDLE file = open(path);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    BYTE b = 0;
    DWORD got = 0;
    EXPECT_EQ(SetFilePointer(file, -769, nullptr, FILE_END), 231u);
    ReadFile(file, &b, 1, &got, nullptr);
    EXPECT_EQ(b, 231);
    EXPECT_EQ(SetFilePointer(file, 128, nullptr, FILE_BEGIN), 128u);
    ReadFile(file, &b, 1, &got, nullptr);
    EXPECT_EQ(b, 128);
    EXPECT_EQ(SetFilePointer(file, -9, nullptr, FILE_CURRENT), 120u);
    EXPECT_EQ(SetFilePointer(file, -121, nullptr, FILE_CURRENT), INVALID_SET_FILE_POINTER);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NEGATIVE_SEEK));
    ReadFile(file, &b, 1, &got, nullptr);
    EXPECT_EQ(b, 120) << "a refused move leaves the position alone";
    EXPECT_EQ(SetFilePointer(file, -1001, nullptr, FILE_END), INVALID_SET_FILE_POINTER);
    EXPECT_EQ(SetFilePointer(file, 5, nullptr, FILE_END), 1005u) << "past the end is allowed";
    EXPECT_TRUE(ReadFile(file, &b, 1, &got, nullptr));
    EXPECT_EQ(got, 0u);
    LONG high = 0;
    EXPECT_EQ(SetFilePointer(file, 10, &high, FILE_BEGIN), 10u);
    EXPECT_EQ(high, 0);
    EXPECT_EQ(SetFilePointer(file, 0, nullptr, 7), INVALID_SET_FILE_POINTER);
    CloseHandle(file);
}

TEST_F(Kernel, CreateFileOpensExistingFilesForReadingOnly) {
    const std::string path = make_file("Sky.Pcx", 3);
    EXPECT_EQ(open(dir_ + "/missing.pcx"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(open(dir_), INVALID_HANDLE_VALUE) << "a directory is not a file";
    HANDLE upper = open(dir_ + "/SKY.PCX");
    EXPECT_NE(upper, INVALID_HANDLE_VALUE) << "names ignore case as on Win32";
    CloseHandle(upper);
    std::string backslashed = dir_ + "\\Sky.Pcx";
    HANDLE slashed = open(backslashed);
    EXPECT_NE(slashed, INVALID_HANDLE_VALUE) << "backslash separators are accepted";
    CloseHandle(slashed);
    EXPECT_EQ(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr), INVALID_HANDLE_VALUE);
    EXPECT_EQ(CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, CREATE_ALWAYS, 0, nullptr), INVALID_HANDLE_VALUE);
    EXPECT_EQ(CreateFileA(nullptr, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr), INVALID_HANDLE_VALUE);
    EXPECT_EQ(probe::open_files(), 0);
}

}  // namespace
