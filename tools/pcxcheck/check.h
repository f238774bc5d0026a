// pcxcheck's check of one file: what it holds and what is wrong with it, as
// the lines pcxcheck prints for it and a verdict. A library of its own so that
// whoever checks files for pcxcheck's users elsewhere (the Python archive
// commands) says it in the program's very words.
#ifndef TOOLS_PCXCHECK_CHECK_H
#define TOOLS_PCXCHECK_CHECK_H

#include <cstdint>
#include <string>
#include <vector>

namespace pcxcheck {

enum class Verdict { Whole, Noted, Damaged, Refused };

struct Check {
    Verdict verdict = Verdict::Refused;
    std::vector<std::string> lines;  // the first names the file
};

// The file at `path` ("-" is standard input) read within `max_pixels` and
// decoded whole; a multi-page file page by page, with only its damaged or
// refused pages' lines when `quiet`. Never throws: out of memory refuses the
// file.
Check check_file(const std::string& path, int64_t max_pixels, bool quiet);

}  // namespace pcxcheck

#endif  // TOOLS_PCXCHECK_CHECK_H
