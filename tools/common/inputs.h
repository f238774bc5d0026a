// The files a tool works on: those named, and with -r every file of the
// tool's kind under a folder (the extension in any case, in name order).
#ifndef TOOLS_COMMON_INPUTS_H
#define TOOLS_COMMON_INPUTS_H

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace tools {

struct Input {
    std::string path;      // as given, or the folder joined with the found name
    std::string relative;  // under its -r folder ("a/b.pcx"); the file name for a named file
};

// Named files as they are (a missing one is found out when it is read);
// every file ending in one of `extensions` (".pcx", any case) under each
// folder.
// False, with a line in `error`, when a folder cannot be listed, holds no
// such file, or a named input is a folder.
bool collect_inputs(const std::vector<std::string>& files, const std::vector<std::string>& folders,
                    const std::vector<std::string>& extensions, std::vector<Input>* inputs, std::string* error);

// The file opened for reading, "-" being standard input; nullptr with
// "does not exist" or "cannot be read: REASON" in `error`.
FILE* open_input(const std::string& path, std::string* error);
// Closes what open_input opened (standard input stays open).
void close_input(FILE* file);

// Appends the file's bytes to `bytes` until it ends or holds `most` bytes;
// false with the reason in `error` ("interrupted" when a signal stopped the
// tool while it waited).
bool read_at_most(FILE* file, uint64_t most, std::vector<uint8_t>* bytes, std::string* error);

// The whole file; false with the reason in `error` ("does not exist",
// "empty file", "cannot be read: REASON").
bool read_whole_file(const std::string& path, std::vector<uint8_t>* bytes, std::string* error);

// This process's number, for temporary names no other run shares.
unsigned long process_id();

// Standard error is a terminal (for progress lines).
bool error_is_terminal();

}  // namespace tools

#endif  // TOOLS_COMMON_INPUTS_H
