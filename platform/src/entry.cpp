// The program entry on Linux: what the Windows start-up code does for a
// WinMain program, reduced to the arguments this project's WinMain reads.
#include <windows.h>

#include <string>

int main(int argc, char** argv) {
    std::string commandLine;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) commandLine += ' ';
        commandLine += argv[i];
    }
    return WinMain(GetModuleHandleA(nullptr), nullptr, &commandLine[0], SW_SHOWDEFAULT);
}
