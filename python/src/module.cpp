// raster_pcx._codec: the PCX codec's C functions for Python.
//
// Only the calls and the buffers live here; what a Python user sees
// (sources, formats, arrays, warnings, errors) is the pure-Python layer in
// raster_pcx/__init__.py. Every codec call runs with the GIL released: the
// codec keeps no state, and the buffers stay exported (so neither resized
// nor freed) until the call returns, so other threads may run meanwhile.
#include <pybind11/pybind11.h>

#include <raster/pcx_codec.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <string>
#include <vector>

namespace py = pybind11;

namespace {

// A buffer held for the length of one call. PyBUF_SIMPLE asks for one
// contiguous block, so a strided view is refused by its exporter with
// BufferError rather than read wrongly.
class Held {
  public:
    Held(py::handle object, int flags) {
        if (PyObject_GetBuffer(object.ptr(), &view_, flags) != 0) throw py::error_already_set();
    }
    ~Held() { PyBuffer_Release(&view_); }
    Held(const Held&) = delete;
    Held& operator=(const Held&) = delete;
    const Py_buffer& view() const { return view_; }
    const void* data() const { return view_.buf; }
    size_t size() const { return static_cast<size_t>(view_.len); }

  private:
    Py_buffer view_{};
};

py::dict facts_dict(const pcx_facts& f) {
    py::dict d;
    d["width"] = f.width;
    d["height"] = f.height;
    d["x_min"] = f.x_min;
    d["y_min"] = f.y_min;
    d["bits_per_pixel"] = f.bits_per_pixel;
    d["planes"] = f.planes;
    d["bytes_per_line"] = f.bytes_per_line;
    d["version"] = f.version;
    d["encoding"] = f.encoding;
    d["h_dpi"] = f.h_dpi;
    d["v_dpi"] = f.v_dpi;
    d["colours"] = f.colours;
    d["colour_source"] = f.colour_source;
    d["palette"] = py::bytes(reinterpret_cast<const char*>(f.palette), sizeof f.palette);
    d["damage"] = f.damage;
    d["notes"] = f.notes;
    d["rows_decoded"] = f.rows_decoded;
    d["data_bytes"] = f.data_bytes;
    return d;
}

py::tuple inspect(py::handle data) {
    const Held in(data, PyBUF_SIMPLE);
    pcx_facts facts{};
    int32_t result;
    {
        py::gil_scoped_release unlocked;
        result = pcx_inspect(in.data(), in.size(), &facts);
    }
    return py::make_tuple(result, facts_dict(facts));
}

// `out` is filled rows `stride` bytes apart; the caller has checked its
// shape against the picture, and the codec refuses, writing nothing, when
// the rows would not fit its length.
py::tuple decode(py::handle data, int32_t format, py::handle out, ptrdiff_t stride) {
    const Held in(data, PyBUF_SIMPLE);
    const Held pixels(out, PyBUF_SIMPLE | PyBUF_WRITABLE);
    pcx_facts facts{};
    int32_t result;
    {
        py::gil_scoped_release unlocked;
        result = pcx_decode(in.data(), in.size(), format, pixels.view().buf, pixels.size(), stride, &facts);
    }
    return py::make_tuple(result, facts_dict(facts));
}

// Width, height, bytes a pixel and the row stride of a 2-D or 3-D array of
// bytes whose rows each hold packed pixels; false for anything else.
struct Rows {
    ptrdiff_t width = 0, height = 0, channels = 1, stride = 0;
};

bool packed_rows(const Py_buffer& v, Rows& rows) {
    if (v.itemsize != 1 || (v.ndim != 2 && v.ndim != 3) || v.strides == nullptr) return false;
    rows.height = v.shape[0];
    rows.width = v.shape[1];
    rows.channels = v.ndim == 3 ? v.shape[2] : 1;
    rows.stride = v.strides[0];
    if (v.ndim == 3 && rows.channels > 1 && v.strides[2] != 1) return false;
    if (rows.width > 1 && v.strides[1] != rows.channels) return false;
    return rows.height < 2 || rows.stride >= rows.width * rows.channels;
}

// Room for any file pcx_encode writes of these pixels, so that it encodes
// once, straight into the bytes object: a run-length coded line is at most
// twice its bytes, and a line of up to four planes of even length is at
// most width * channels + 16 bytes; the header and trailer fit in 1024.
size_t largest_file(const Rows& rows) {
    return static_cast<size_t>(rows.height) * 2 * (static_cast<size_t>(rows.width * rows.channels) + 16) + 1024;
}

// The file is encoded into a scratch block of the largest size, then copied
// into a bytes object of its own size. Encoding straight into an oversized
// bytes object and shrinking it costs more: the allocator then maps fresh
// memory for every call (the shrunk block, once freed, sets its threshold
// for mapping below the next call's size), and the page faults of a fresh
// mapping take longer than the copy.
py::object encode(py::handle array, int32_t format, py::object palette) {
    const Held in(array, PyBUF_RECORDS_RO);
    Rows rows;
    if (!packed_rows(in.view(), rows)) throw py::value_error("pixels need packed rows of bytes");
    std::string colours;
    if (!palette.is_none()) colours = palette.cast<std::string>();
    const size_t room = largest_file(rows);
    const std::unique_ptr<uint8_t[]> scratch(new (std::nothrow) uint8_t[room]);
    if (!scratch) throw std::bad_alloc();
    size_t size;
    {
        py::gil_scoped_release unlocked;
        size = pcx_encode(in.data(), static_cast<int32_t>(rows.width), static_cast<int32_t>(rows.height), rows.stride,
                          format, colours.empty() ? nullptr : reinterpret_cast<const uint8_t*>(colours.data()),
                          static_cast<int32_t>(colours.size() / 3), scratch.get(), room);
    }
    if (size == 0) return py::none();
    if (size > room) throw py::value_error("the encoder needed more room than it may take");
    return py::bytes(reinterpret_cast<const char*>(scratch.get()), size);
}

bool is_dcx(py::handle data) {
    const Held in(data, PyBUF_SIMPLE);
    return pcx_is_dcx(in.data(), in.size()) != 0;
}

// The pages of a DCX file from its table, each listed page's header then
// checked, so that a page that is no picture is named with the table's own
// faults: (result, [(offset, extent, faults), ...]).
py::tuple dcx_list(py::handle data) {
    const Held in(data, PyBUF_SIMPLE);
    const auto* bytes = static_cast<const uint8_t*>(in.data());
    pcx_dcx_facts facts{};
    std::vector<pcx_dcx_page> pages(PCX_DCX_MAX_PAGES);
    int32_t result;
    {
        py::gil_scoped_release unlocked;
        const size_t head = std::min<size_t>(in.size(), PCX_DCX_HEAD_BYTES);
        result = pcx_dcx_list(bytes, head, in.size(), &facts, pages.data(), PCX_DCX_MAX_PAGES);
        for (int32_t i = 0; result == PCX_OK && i < facts.pages; ++i) {
            pcx_dcx_page& page = pages[static_cast<size_t>(i)];
            if (page.extent == 0) continue;
            const size_t header = std::min<size_t>(static_cast<size_t>(page.extent), PCX_HEADER_BYTES);
            pcx_dcx_check_page(bytes + page.offset, header, &page);
        }
    }
    py::list listed;
    for (int32_t i = 0; result == PCX_OK && i < facts.pages; ++i) {
        const pcx_dcx_page& page = pages[static_cast<size_t>(i)];
        listed.append(py::make_tuple(page.offset, page.extent, page.faults));
    }
    return py::make_tuple(result, listed);
}

}  // namespace

PYBIND11_MODULE(_codec, m) {
    m.doc() = "The PCX codec's C functions; use the raster_pcx package, not this module.";
    m.def("inspect", &inspect, py::arg("data"), "(result, facts) of the header and trailer");
    m.def("decode", &decode, py::arg("data"), py::arg("format"), py::arg("out"), py::arg("stride"),
          "(result, facts), the pixels written to out");
    m.def("encode", &encode, py::arg("pixels"), py::arg("format"), py::arg("palette"),
          "the PCX file's bytes, or None when the codec refuses the pixels");
    m.def("is_dcx", &is_dcx, py::arg("data"), "True when the data starts with the DCX mark");
    m.def("dcx_list", &dcx_list, py::arg("data"), "(result, [(offset, extent, faults), ...]) of a DCX file");
    m.def("dcx_fault_text", &pcx_dcx_fault_text, py::arg("bit"));
    m.def("result_text", &pcx_result_text, py::arg("result"));
    m.def("damage_text", &pcx_damage_text, py::arg("bit"));
    m.def("note_text", &pcx_note_text, py::arg("bit"));
    m.attr("version") = std::to_string(RASTER_VERSION_MAJOR) + "." + std::to_string(RASTER_VERSION_MINOR) + "." +
                        std::to_string(RASTER_VERSION_PATCH);
    m.attr("OK") = PCX_OK;
    m.attr("TRUE_COLOUR") = PCX_TRUE_COLOUR;
}
