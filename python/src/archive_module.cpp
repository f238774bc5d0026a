// raster_pcx._archive: what the archive commands' workers run, one batch of
// files a call, with the interpreter's lock released while the tools' code
// reads, decodes and encodes, so that a worker's other threads (its
// heartbeats to the scheduler) go on.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cstdint>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "archive_tools.h"

namespace py = pybind11;

namespace {

std::vector<std::pair<int, std::string>> check_files(const std::vector<std::string>& paths, int64_t max_pixels) {
    std::vector<std::pair<int, std::string>> verdicts;
    verdicts.reserve(paths.size());
    py::gil_scoped_release unlocked;
    for (const std::string& path : paths) {
        archive::Verdict verdict = archive::check_file(path, max_pixels);
        verdicts.emplace_back(verdict.kind, std::move(verdict.text));
    }
    return verdicts;
}

py::tuple png_of(archive::Converter& converter, const std::string& path, bool keep_alpha, int64_t max_pixels) {
    archive::Png png;
    {
        py::gil_scoped_release unlocked;
        png = converter.png_of(path, keep_alpha, max_pixels);
    }
    py::bytes bytes(reinterpret_cast<const char*>(png.png.data()), png.png.size());
    return py::make_tuple(png.result, png.why, bytes);
}

// The page a worker converts, as pages_of lists it: (number, count, offset,
// extent, faults).
using PageTuple = std::tuple<int, int, uint64_t, uint64_t, int32_t>;

py::tuple page_png_of(archive::Converter& converter, const std::string& path, const PageTuple& page, bool keep_alpha,
                      int64_t max_pixels) {
    archive::PageJob job;
    std::tie(job.number, job.count, job.offset, job.extent, job.faults) = page;
    archive::Png png;
    {
        py::gil_scoped_release unlocked;
        png = converter.page_png_of(path, job, keep_alpha, max_pixels);
    }
    py::bytes bytes(reinterpret_cast<const char*>(png.png.data()), png.png.size());
    return py::make_tuple(png.result, png.why, bytes);
}

// --page's text as [(first, last)], or None when it is not a list of pages.
py::object parse_pages(const std::string& text) {
    std::vector<archive::PageRange> ranges;
    if (!archive::parse_pages(text, &ranges)) return py::none();
    py::list parsed;
    for (const archive::PageRange& range : ranges) parsed.append(py::make_tuple(range.first, range.last));
    return parsed;
}

// For each (path, output) of inputs: None for a file of one picture, else
// its pages that ranges select as (number, count, offset, extent, faults,
// refused, output).
py::list pages_of(const std::vector<std::pair<std::string, std::string>>& inputs,
                  const std::vector<std::pair<int, int>>& wanted) {
    std::vector<archive::PageRange> ranges;
    ranges.reserve(wanted.size());
    for (const auto& range : wanted) ranges.push_back({range.first, range.second});
    std::vector<std::vector<archive::PageJob>> listed(inputs.size());
    std::vector<bool> paged(inputs.size(), false);
    {
        py::gil_scoped_release unlocked;
        for (size_t i = 0; i < inputs.size(); ++i)
            paged[i] = archive::pages_of(inputs[i].first, ranges, inputs[i].second, &listed[i]);
    }
    py::list pages;
    for (size_t i = 0; i < inputs.size(); ++i) {
        if (!paged[i]) {
            pages.append(py::none());
            continue;
        }
        py::list own;
        for (const archive::PageJob& page : listed[i]) {
            own.append(py::make_tuple(page.number, page.count, page.offset, page.extent, page.faults, page.refused,
                                      page.output));
        }
        pages.append(own);
    }
    return pages;
}

// (inputs, "") or ([], the tools' words): the caller raises, so that no C++
// exception crosses into the interpreter for an everyday refusal.
py::tuple collect_folder(const std::string& folder, const std::vector<std::string>& extensions) {
    std::vector<archive::Found> found;
    std::string error;
    {
        py::gil_scoped_release unlocked;
        if (!archive::collect_folder(folder, extensions, &found, &error)) found.clear();
    }
    py::list inputs;
    for (const archive::Found& input : found) inputs.append(py::make_tuple(input.path, input.relative, input.size));
    return py::make_tuple(inputs, error);
}

}  // namespace

PYBIND11_MODULE(_archive, module) {
    module.doc() = "The PCX tools' check and conversion of single files, for raster_pcx.archive's workers.";
    module.def("check_files", &check_files, py::arg("paths"), py::arg("max_pixels"),
               "pcxcheck's verdict on each file, in order: (kind, text) with kind 0 whole, 1 with notes\n"
               "only, 2 damaged, 3 refused, and text the lines pcxcheck prints for the file.");
    py::class_<archive::Converter>(module, "Converter",
                                   "pcx2png's conversions one after another, keeping their working memory from\n"
                                   "one file to the next (one thread at a time).")
        .def(py::init<>())
        .def("png_of", &png_of, py::arg("path"), py::arg("keep_alpha"), py::arg("max_pixels"),
             "pcx2png's conversion of one file: (result, why, png) with result 0 converted, 1 converted\n"
             "with damage (why names it), 3 refused (why says why; png is empty).")
        .def("page_png_of", &page_png_of, py::arg("path"), py::arg("page"), py::arg("keep_alpha"),
             py::arg("max_pixels"),
             "pcx2png's conversion of one page of a multi-page file, page as pages_of lists it\n"
             "(number, count, offset, extent, faults): (result, why, png) as png_of gives.");
    module.def("parse_pages", &parse_pages, py::arg("text"),
               "pcx2png --page's value as [(first, last)] (last 0 for an open end), or None when it is\n"
               "not a page number, a range N-M or N-, or a comma list of them.");
    module.def("pages_of", &pages_of, py::arg("inputs"), py::arg("ranges"),
               "For each (path, output) of inputs, as pcx2png plans it: None for a file of one picture,\n"
               "else the pages ranges select (every page when empty) as (number, count, offset, extent,\n"
               "faults, refused, output), refused naming a page lost or not in the file, output its PNG.");
    module.def("collect_folder", &collect_folder, py::arg("folder"), py::arg("extensions"),
               "Every file under folder ending in one of extensions (any case), as the tools list them:\n"
               "([(path, relative, size)] in their order, \"\"), or ([], the tools' words) when there is none\n"
               "or the folder cannot be listed.");
}
