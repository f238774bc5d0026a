// pcxcheck's check of one file, built from the program's own source with its
// entry point renamed: the check lives in the program's file, and sharing
// that very code (not a copy of it) keeps the archive's verdicts word for word
// the tool's, whatever the tool grows to. The headers the program includes
// come first, so that the renaming touches the program's text alone.
#include <raster/pcx_codec.h>

#include <cstdio>
#include <filesystem>
#include <iterator>
#include <new>
#include <string>
#include <vector>

#include "archive_tools.h"
#include "inputs.h"
#include "interrupt.h"
#include "options.h"
#include "pcx_file.h"
#include "paths.h"
#include "pcx_words.h"
#include "windows_args.h"

#define main pcxcheck_program_main
#include "pcxcheck.cpp"
#undef main

namespace archive {

Verdict check_file(const std::string& path, int64_t max_pixels) {
    const Check check = ::check_file(path, max_pixels, false);  // every line, as pcxcheck without -q prints
    Verdict verdict;
    verdict.kind = static_cast<int>(check.verdict);
    for (size_t i = 0; i < check.lines.size(); ++i) {
        if (i > 0) verdict.text += '\n';
        verdict.text += check.lines[i];
    }
    return verdict;
}

bool collect_folder(const std::string& folder, const std::vector<std::string>& extensions, std::vector<Found>* found,
                    std::string* error) {
    std::vector<tools::Input> inputs;
    if (!tools::collect_inputs({}, {folder}, extensions, &inputs, error)) return false;
    // The sizes here rather than in Python: for archives of many small files
    // the listing is most of what the client does itself.
    for (const tools::Input& input : inputs) {
        std::error_code code;
        const uintmax_t size = std::filesystem::file_size(tools::path_of(input.path), code);
        found->push_back({input.path, input.relative, code ? 0 : static_cast<uint64_t>(size)});
    }
    return true;
}

}  // namespace archive
