// pcx2png's one-picture conversion and its pages of multi-page files.
#include "pcx2png_convert.h"

#include <raster/pcx_codec.h>

#include <algorithm>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "pcx_file.h"
#include "pcx_words.h"

namespace pcx2png {
namespace {

// The fewest bits a pixel that hold indices up to `highest`.
int depth_for(int highest) { return highest < 2 ? 1 : highest < 4 ? 2 : highest < 16 ? 4 : 8; }

// The decoded picture as a PNG file.
convert::Outcome make_png(const pcx_facts& facts, int32_t format, const uint8_t* decoded, size_t size,
                          pngio::Writer& writer, std::vector<uint8_t>* png) {
    pngio::Picture picture;
    picture.width = facts.width;
    picture.height = facts.height;
    picture.pixels = decoded;
    picture.stride = static_cast<ptrdiff_t>(facts.width) * format;
    if (format == PCX_FORMAT_INDICES) {
        uint8_t highest = 0;
        for (size_t i = 0; i < size; ++i) highest = decoded[i] > highest ? decoded[i] : highest;
        picture.kind = pngio::Kind::Palette;
        picture.bit_depth = depth_for(highest);
        picture.palette.assign(facts.palette, facts.palette + 3 * (highest + 1));
    } else {
        picture.kind = format == PCX_FORMAT_RGBA ? pngio::Kind::Rgba : pngio::Kind::Rgb;
    }
    std::string error;
    if (!writer.write(picture, png, &error)) return {convert::Result::Refused, "cannot make the PNG: " + error};
    if (facts.damage != 0) return {convert::Result::Damaged, tools::joined(tools::damage_words(facts))};
    return {convert::Result::Converted, std::string()};
}

convert::Outcome decode(const std::vector<uint8_t>& data, pcx_facts facts, int32_t format, Workspace& work,
                        std::vector<uint8_t>* png) {
    const size_t row = static_cast<size_t>(facts.width) * static_cast<size_t>(format);
    const size_t size = row * static_cast<size_t>(facts.height);
    uint8_t* decoded = work.pixels_for(size);
    const int32_t result =
        pcx_decode(data.data(), data.size(), format, decoded, size, static_cast<ptrdiff_t>(row), &facts);
    if (result == RASTER_NO_MEMORY) throw std::bad_alloc();
    if (result != PCX_OK) return {convert::Result::Refused, tools::refusal_words(result, facts)};
    return make_png(facts, format, decoded, size, work.writer, png);
}

// What converting the picture holds, in the budget's unit (pixels of the
// decoded format): the decoded pixels and, beside them, the PNG writer's
// buffers (filtered rows, compressed data and file, each about the
// picture's size when it compresses badly): about four times its pixels.
int64_t charge(const pcx_facts& facts, int32_t format, pngio::Writer& writer) {
    pngio::Picture picture;
    picture.kind = format == PCX_FORMAT_INDICES ? pngio::Kind::Palette
                   : format == PCX_FORMAT_RGBA  ? pngio::Kind::Rgba
                                                : pngio::Kind::Rgb;
    picture.width = facts.width;
    picture.height = facts.height;
    const uint64_t per_pixel = static_cast<uint64_t>(format);
    const uint64_t extra = (writer.working_bytes(picture) + per_pixel - 1) / per_pixel;
    return int64_t{facts.width} * facts.height + static_cast<int64_t>(extra);
}

std::string too_large_to_write(const pcx_facts& facts, int64_t need, int64_t limit) {
    return std::to_string(facts.width) + " x " + std::to_string(facts.height) + " pixels need room for " +
           std::to_string(need) + " with the PNG writer's buffers, more than --max-pixels " + std::to_string(limit);
}

bool selected(const std::vector<PageRange>& ranges, int page) {
    if (ranges.empty()) return true;
    for (const PageRange& range : ranges)
        if (page >= range.first && (range.last == 0 || page <= range.last)) return true;
    return false;
}

}  // namespace

convert::Outcome convert_picture(bool keep_alpha, const std::vector<uint8_t>& data, tools::PixelBudget& budget,
                                 pngio::Pool<Workspace>& workspaces, std::vector<uint8_t>* png) {
    pcx_facts facts;
    const int32_t result = pcx_inspect(data.data(), data.size(), &facts);
    if (result != PCX_OK) return {convert::Result::Refused, tools::refusal_words(result, facts)};
    const int64_t pixels = int64_t{facts.width} * facts.height;
    if (pixels > budget.limit()) {
        return {convert::Result::Refused, tools::too_large(facts.width, facts.height, budget.limit())};
    }
    const int32_t format = facts.colour_source != 0          ? PCX_FORMAT_INDICES
                           : keep_alpha && facts.planes == 4 ? PCX_FORMAT_RGBA
                                                             : PCX_FORMAT_RGB;
    try {
        const pngio::Pool<Workspace>::Lease work = workspaces.take();
        const int64_t need = charge(facts, format, work->writer);
        if (need > budget.limit()) return {convert::Result::Refused, too_large_to_write(facts, need, budget.limit())};
        tools::BudgetHold hold(&budget, need);
        return decode(data, facts, format, *work, png);
    } catch (const std::bad_alloc&) {
        return {convert::Result::Refused, tools::no_memory(facts.width, facts.height)};
    }
}

// The PCX file read no further than its picture can reach.
bool read_bounded(const std::string& path, int64_t max_pixels, std::vector<uint8_t>* bytes, std::string* error) {
    tools::PcxFile file;
    if (!tools::read_pcx_file(path, max_pixels, &file, error)) return false;
    if (file.dcx) {  // it became one after the batch was planned
        *error = "a multi-page file, which it was not when the batch started";
        return false;
    }
    *bytes = std::move(file.bytes);
    return true;
}

bool parse_pages(const std::string& text, std::vector<PageRange>* ranges) {
    size_t start = 0;
    while (start <= text.size()) {
        const size_t comma = std::min(text.find(',', start), text.size());
        const std::string item = text.substr(start, comma - start);
        const size_t dash = item.find('-');
        int64_t first = 0, last = 0;
        if (!tools::parse_whole(item.substr(0, dash), 1, PCX_DCX_MAX_PAGES, &first)) return false;
        last = first;
        if (dash != std::string::npos) {
            const std::string tail = item.substr(dash + 1);
            if (tail.empty()) {
                last = 0;
            } else if (!tools::parse_whole(tail, first, PCX_DCX_MAX_PAGES, &last)) {
                return false;
            }
        }
        ranges->push_back({static_cast<int>(first), static_cast<int>(last)});
        start = comma + 1;
    }
    return true;
}

// The pages of a DCX input that --page selects; pages asked for that the
// file does not have are refused by number.
bool list_pages(const std::vector<PageRange>& ranges, const std::string& path, std::vector<convert::Page>* pages) {
    tools::PcxFile head;
    std::string error;
    tools::DcxPages listing;
    if (!tools::read_dcx_head(path, &head, &error) || !tools::list_pages(head, &listing)) return false;
    const int count = static_cast<int>(listing.pages.size());
    for (int number = 1; number <= count; ++number) {
        if (!selected(ranges, number)) continue;
        const pcx_dcx_page& entry = listing.pages[static_cast<size_t>(number - 1)];
        convert::Page page{
            number,       count,        static_cast<uint64_t>(entry.offset), static_cast<uint64_t>(entry.extent),
            entry.faults, std::string()};
        if ((entry.faults & PCX_DCX_PAST_END) != 0)
            page.refused = "lost: " + std::string(pcx_dcx_fault_text(PCX_DCX_PAST_END));
        pages->push_back(page);
    }
    for (const PageRange& range : ranges) {
        for (int number = std::max(range.first, count + 1); number <= range.last; ++number) {
            pages->push_back(
                {number, std::max(count, range.last), 0, 0, 0, "no such page: the file has " + std::to_string(count)});
        }
    }
    if (count == 0) pages->push_back({1, 1, 0, 0, 0, tools::joined(tools::fault_words(listing.facts.faults))});
    return true;
}

bool read_page(const std::string& path, const convert::Page& page, int64_t max_pixels, std::vector<uint8_t>* bytes,
               std::string* error) {
    tools::PcxFile file;
    pcx_dcx_page entry{};
    entry.offset = static_cast<int64_t>(page.offset);
    entry.extent = static_cast<int64_t>(page.extent);
    if (!tools::read_page(path, entry, max_pixels, &file, error)) return false;
    *bytes = std::move(file.bytes);
    return true;
}

}  // namespace pcx2png
