// The program entry on Linux: what the Windows start-up code does for a
// WinMain program, reduced to the arguments this project's WinMain reads.
#include <windows.h>

#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    std::string commandLine;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) commandLine += ' ';
        commandLine += argv[i];
    }
    const int status = WinMain(GetModuleHandleA(nullptr), nullptr, &commandLine[0], SW_SHOWDEFAULT);
#ifdef __EMSCRIPTEN__
    // In a web page the message loop handed control back to the browser on
    // the way, so nobody is waiting for main's return value any more: the
    // status is given to exit instead, which reports it to the page.
    std::exit(status);
#else
    return status;
#endif
}
