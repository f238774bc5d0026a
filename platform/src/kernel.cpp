// KERNEL32: module, version, strings, global memory and files over POSIX.
#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>
#include <string>

#include "journal.h"
#include "state.h"

namespace standin {

namespace {

// The instance handle of the program itself (the value Win32 gives an
// executable loaded at its preferred base).
const uintptr_t kInstance = 0x400000;

std::string executable_path() {
    const State& s = state();
    if (!s.module_file_name.empty()) return s.module_file_name;
#ifdef __EMSCRIPTEN__
    // In a web page the program is the page's script; the files packed with
    // it sit at the root of its in-memory file system.
    return "/program";
#else
    std::string path(4096, '\0');
    const ssize_t n = readlink("/proc/self/exe", &path[0], path.size() - 1);
    if (n <= 0) return std::string();
    path.resize(static_cast<size_t>(n));
    return path;
#endif
}

DWORD error_from_errno(int error) {
    switch (error) {
        case ENOENT:
            return ERROR_FILE_NOT_FOUND;
        case ENOTDIR:
        case ENAMETOOLONG:
            return ERROR_PATH_NOT_FOUND;
        case EACCES:
        case EPERM:
        case EISDIR:
            return ERROR_ACCESS_DENIED;
        case ENOMEM:
            return ERROR_NOT_ENOUGH_MEMORY;
        default:
            return ERROR_INVALID_PARAMETER;
    }
}

// Win32 file names ignore case; when the exact name is missing, look for the
// one entry of its directory that matches it without regard to case.
int open_ignoring_case(const std::string& path) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0 || errno != ENOENT) return fd;
    const size_t slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
    const std::string leaf = slash == std::string::npos ? path : path.substr(slash + 1);
    DIR* d = opendir(dir.c_str());
    if (d == nullptr) {
        errno = ENOENT;
        return -1;
    }
    std::string found;
    while (dirent* entry = readdir(d)) {
        if (strcasecmp(entry->d_name, leaf.c_str()) == 0) {
            found = entry->d_name;
            break;
        }
    }
    closedir(d);
    if (found.empty()) {
        errno = ENOENT;
        return -1;
    }
    return open((dir + "/" + found).c_str(), O_RDONLY | O_CLOEXEC);
}

OpenFile* find_file(HANDLE file) {
    State& s = state();
    auto it = s.files.find(h(file));
    return it == s.files.end() ? nullptr : &it->second;
}

GlobalBlock* find_block(HGLOBAL mem) {
    State& s = state();
    auto it = s.globals.find(h(mem));
    return it == s.globals.end() ? nullptr : &it->second;
}

}  // namespace

}  // namespace standin

using namespace standin;

HMODULE WINAPI GetModuleHandleA(LPCSTR moduleName) {
    return JournalEntry("GetModuleHandleA", moduleName).run([&]() -> HMODULE {
        if (moduleName == nullptr) return as<HMODULE>(kInstance);
        // The program is the only module: answer to its own file name.
        const std::string path = executable_path();
        const size_t slash = path.rfind('/');
        const std::string leaf = slash == std::string::npos ? path : path.substr(slash + 1);
        if (strcasecmp(leaf.c_str(), moduleName) == 0) return as<HMODULE>(kInstance);
        set_error(ERROR_MOD_NOT_FOUND);
        return nullptr;
    });
}

DWORD WINAPI GetModuleFileNameA(HMODULE module, LPSTR fileName, DWORD size) {
    return JournalEntry("GetModuleFileNameA", module, fileName, size).run([&]() -> DWORD {
        if ((module != nullptr && h(module) != kInstance) || (fileName == nullptr && size > 0)) {
            set_error(ERROR_INVALID_HANDLE);
            return 0;
        }
        const std::string path = executable_path();
        if (path.empty()) {
            set_error(ERROR_FILE_NOT_FOUND);
            return 0;
        }
        if (size == 0) {
            set_error(ERROR_INSUFFICIENT_BUFFER);
            return 0;
        }
        if (path.size() < size) {
            std::memcpy(fileName, path.c_str(), path.size() + 1);
            return static_cast<DWORD>(path.size());
        }
        // Too long: as much as fits with its terminating NUL, and the buffer
        // size as the result.
        std::memcpy(fileName, path.data(), size - 1);
        fileName[size - 1] = '\0';
        set_error(ERROR_INSUFFICIENT_BUFFER);
        return size;
    });
}

DWORD WINAPI GetVersion(void) {
    return JournalEntry("GetVersion").run([&]() -> DWORD {
        // Windows NT 6.2, build 9200: bit 31 clear marks the NT platform.
        return 0x23F00206;
    });
}

int WINAPI lstrlenA(LPCSTR s) {
    return JournalEntry("lstrlenA", s).run([&]() -> int {
        return s == nullptr ? 0 : static_cast<int>(std::strlen(s));
    });
}

LPSTR WINAPI lstrcpyA(LPSTR dest, LPCSTR src) {
    return JournalEntry("lstrcpyA", dest, src).run([&]() -> LPSTR {
        if (dest == nullptr || src == nullptr) return nullptr;
        std::memmove(dest, src, std::strlen(src) + 1);
        return dest;
    });
}

LPSTR WINAPI lstrcatA(LPSTR dest, LPCSTR src) {
    return JournalEntry("lstrcatA", dest, src).run([&]() -> LPSTR {
        if (dest == nullptr || src == nullptr) return nullptr;
        const size_t at = std::strlen(dest);
        std::memmove(dest + at, src, std::strlen(src) + 1);
        return dest;
    });
}

HGLOBAL WINAPI GlobalAlloc(UINT flags, SIZE_T bytes) {
    return JournalEntry("GlobalAlloc", flags, bytes).run([&]() -> HGLOBAL {
        if (take_fault(probe::Fault::GlobalAlloc)) {
            set_error(ERROR_NOT_ENOUGH_MEMORY);
            return nullptr;
        }
        GlobalBlock block;
        block.size = bytes;
        block.flags = flags;
        const size_t allocate = bytes == 0 ? 1 : bytes;
        block.data.reset(new (std::nothrow) BYTE[allocate]);
        if (!block.data) {
            set_error(ERROR_NOT_ENOUGH_MEMORY);
            return nullptr;
        }
        // Without GMEM_ZEROINIT the contents are garbage; make that visible.
        std::memset(block.data.get(), (flags & GMEM_ZEROINIT) ? 0 : 0xA5, allocate);
        const uintptr_t handle =
            (flags & GMEM_MOVEABLE) ? new_handle(Kind::Global) : reinterpret_cast<uintptr_t>(block.data.get());
        state().globals[handle] = std::move(block);
        return as<HGLOBAL>(handle);
    });
}

LPVOID WINAPI GlobalLock(HGLOBAL mem) {
    return JournalEntry("GlobalLock", mem).run([&]() -> LPVOID {
        GlobalBlock* block = find_block(mem);
        if (block == nullptr) {
            set_error(ERROR_INVALID_HANDLE);
            return nullptr;
        }
        if ((block->flags & GMEM_MOVEABLE) && block->locks < 255) ++block->locks;
        return block->data.get();
    });
}

BOOL WINAPI GlobalUnlock(HGLOBAL mem) {
    return JournalEntry("GlobalUnlock", mem).run([&]() -> BOOL {
        GlobalBlock* block = find_block(mem);
        if (block == nullptr) {
            set_error(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        if (!(block->flags & GMEM_MOVEABLE)) return TRUE;  // fixed blocks have no lock count
        if (block->locks == 0) {
            set_error(ERROR_NOT_LOCKED);
            return FALSE;
        }
        --block->locks;
        if (block->locks == 0) {
            set_error(ERROR_SUCCESS);
            return FALSE;
        }
        return TRUE;
    });
}

HGLOBAL WINAPI GlobalFree(HGLOBAL mem) {
    return JournalEntry("GlobalFree", mem).run([&]() -> HGLOBAL {
        if (mem == nullptr) return nullptr;
        if (find_block(mem) == nullptr) {
            set_error(ERROR_INVALID_HANDLE);
            return mem;
        }
        state().globals.erase(h(mem));
        return nullptr;
    });
}

HANDLE WINAPI CreateFileA(LPCSTR fileName, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES security,
                          DWORD disposition, DWORD flags, HANDLE templateFile) {
    return JournalEntry("CreateFileA", fileName, access, shareMode, security, disposition, flags, templateFile)
        .run([&]() -> HANDLE {
            if (take_fault(probe::Fault::CreateFileA)) {
                set_error(ERROR_FILE_NOT_FOUND);
                return INVALID_HANDLE_VALUE;
            }
            if (fileName == nullptr || fileName[0] == '\0') {
                set_error(ERROR_PATH_NOT_FOUND);
                return INVALID_HANDLE_VALUE;
            }
            // Reading existing files is all this stand-in offers.
            if (access != GENERIC_READ || disposition != OPEN_EXISTING || templateFile != nullptr) {
                set_error(ERROR_ACCESS_DENIED);
                return INVALID_HANDLE_VALUE;
            }
            std::string path(fileName);
            for (char& c : path) {
                if (c == '\\') c = '/';
            }
            const int fd = open_ignoring_case(path);
            if (fd < 0) {
                set_error(error_from_errno(errno));
                return INVALID_HANDLE_VALUE;
            }
            struct stat info;
            if (fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
                close(fd);
                set_error(ERROR_ACCESS_DENIED);
                return INVALID_HANDLE_VALUE;
            }
            const uintptr_t handle = new_handle(Kind::File);
            state().files[handle] = OpenFile{fd};
            return as<HANDLE>(handle);
        });
}

BOOL WINAPI ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, LPDWORD read, LPOVERLAPPED overlapped) {
    return JournalEntry("ReadFile", file, buffer, toRead, read, overlapped).run([&]() -> BOOL {
        State& s = state();
        OpenFile* open_file = find_file(file);
        if (open_file == nullptr) {
            set_error(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        if (read == nullptr || overlapped != nullptr || (buffer == nullptr && toRead > 0)) {
            set_error(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        *read = 0;
        size_t want = toRead;
        if (s.probe.read_budget >= 0 && want > static_cast<size_t>(s.probe.read_budget))
            want = static_cast<size_t>(s.probe.read_budget);
        size_t got = 0;
        while (got < want) {
            const ssize_t n = ::read(open_file->fd, static_cast<BYTE*>(buffer) + got, want - got);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) {
                *read = static_cast<DWORD>(got);
                set_error(ERROR_ACCESS_DENIED);
                return FALSE;
            }
            if (n == 0) break;  // end of file: a short count, not a failure
            got += static_cast<size_t>(n);
        }
        if (s.probe.read_budget >= 0) s.probe.read_budget -= static_cast<long>(got);
        *read = static_cast<DWORD>(got);
        return TRUE;
    });
}

DWORD WINAPI SetFilePointer(HANDLE file, LONG distance, PLONG distanceHigh, DWORD method) {
    return JournalEntry("SetFilePointer", file, distance, distanceHigh, method).run([&]() -> DWORD {
        OpenFile* open_file = find_file(file);
        if (open_file == nullptr) {
            set_error(ERROR_INVALID_HANDLE);
            return INVALID_SET_FILE_POINTER;
        }
        int whence = SEEK_SET;
        if (method == FILE_CURRENT) {
            whence = SEEK_CUR;
        } else if (method == FILE_END) {
            whence = SEEK_END;
        } else if (method != FILE_BEGIN) {
            set_error(ERROR_INVALID_PARAMETER);
            return INVALID_SET_FILE_POINTER;
        }
        // Without a high part the distance is a signed 32-bit value.
        int64_t move = distance;
        if (distanceHigh != nullptr) {
            move = static_cast<int64_t>((static_cast<uint64_t>(static_cast<uint32_t>(*distanceHigh)) << 32) |
                                        static_cast<uint32_t>(distance));
        }
        const off_t here = lseek(open_file->fd, 0, SEEK_CUR);
        const off_t end = lseek(open_file->fd, 0, SEEK_END);
        lseek(open_file->fd, here, SEEK_SET);
        const int64_t base = whence == SEEK_SET ? 0 : (whence == SEEK_CUR ? here : end);
        const int64_t target = base + move;
        if (here < 0 || end < 0 || target < 0) {
            set_error(ERROR_NEGATIVE_SEEK);  // the position does not move
            return INVALID_SET_FILE_POINTER;
        }
        lseek(open_file->fd, static_cast<off_t>(target), SEEK_SET);
        if (distanceHigh != nullptr) *distanceHigh = static_cast<LONG>(static_cast<uint64_t>(target) >> 32);
        set_error(ERROR_SUCCESS);
        return static_cast<DWORD>(static_cast<uint64_t>(target) & 0xFFFFFFFFu);
    });
}

BOOL WINAPI CloseHandle(HANDLE object) {
    return JournalEntry("CloseHandle", object).run([&]() -> BOOL {
        if (find_timer(object) != nullptr) {
            state().timers.erase(h(object));
            return TRUE;
        }
        OpenFile* open_file = find_file(object);
        if (open_file == nullptr) {
            set_error(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        close(open_file->fd);
        state().files.erase(h(object));
        return TRUE;
    });
}

DWORD WINAPI GetLastError(void) {
    return JournalEntry("GetLastError").run([&]() -> DWORD { return state().last_error; });
}

void WINAPI SetLastError(DWORD error) {
    JournalEntry("SetLastError", error).run([&] { state().last_error = error; });
}
