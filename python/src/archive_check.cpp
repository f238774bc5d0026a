// pcxcheck's check of one file through the tool's own library, so that the
// archive's verdicts are word for word the tool's, whatever the tool grows to.
#include <cstdint>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "archive_tools.h"
#include "check.h"
#include "inputs.h"
#include "paths.h"

namespace archive {

Verdict check_file(const std::string& path, int64_t max_pixels) {
    const pcxcheck::Check check =
        pcxcheck::check_file(path, max_pixels, false);  // every line, as pcxcheck without -q prints
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
