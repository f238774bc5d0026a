// The suites that compare with independent PCX readers and writers
// (ImageMagick, netpbm, Pillow) ask one check whether each is here: the
// script tests/support/peer, which goes by the program's own version line,
// so that the C++, Python and shell suites skip for the same reasons.
#ifndef TESTS_SUPPORT_PEER_H
#define TESTS_SUPPORT_PEER_H

#include <cstdio>
#include <initializer_list>
#include <string>

#ifndef PEER_COMMAND
#error "PEER_COMMAND names tests/support/peer (set by the suite's CMakeLists.txt)"
#endif

// Empty when the peer is here; otherwise the check's one line saying why
// not, for GTEST_SKIP. `program` as the script takes it: "convert",
// "pcxtoppm", "pillow /usr/bin/python3".
inline std::string peer_missing(const std::string& program) {
    const std::string command = std::string("'") + PEER_COMMAND + "' " + program + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return "cannot run " + command;
    std::string said;
    char chunk[256];
    while (std::fgets(chunk, sizeof chunk, pipe) != nullptr) said += chunk;
    const int status = pclose(pipe);
    if (status == 0) return std::string();
    while (!said.empty() && said.back() == '\n') said.pop_back();
    return said.empty() ? "the peer check failed: " + command : said;
}

// The first of several peers that is missing, or empty when all are here.
inline std::string peers_missing(std::initializer_list<const char*> programs) {
    for (const char* program : programs) {
        std::string why = peer_missing(program);
        if (!why.empty()) return why;
    }
    return std::string();
}

#endif  // TESTS_SUPPORT_PEER_H
