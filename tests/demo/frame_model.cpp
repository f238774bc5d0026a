#include "frame_model.h"

#include <fstream>
#include <iterator>
#include <sstream>

namespace demomodel {

namespace {
int Word(const std::vector<uint8_t>& bytes, size_t offset) { return bytes[offset] | (bytes[offset + 1] << 8); }
}  // namespace

Picture LoadPcx(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    Picture picture;
    if (bytes.size() < 128 + 769) {
        ADD_FAILURE() << path << ": too short (" << bytes.size() << " bytes)";
        return picture;
    }
    if (bytes[0] != 10 || bytes[1] != 5 || bytes[2] != 1 || bytes[3] != 8 || bytes[65] != 1) {
        ADD_FAILURE() << path << ": not a version-5 one-plane 8-bit PCX picture";
        return picture;
    }
    picture.xmin = Word(bytes, 4);
    picture.ymin = Word(bytes, 6);
    picture.width = Word(bytes, 8) - picture.xmin + 1;
    picture.height = Word(bytes, 10) - picture.ymin + 1;
    const int bytesPerLine = Word(bytes, 66);
    const size_t trailer = bytes.size() - 769;
    if (bytes[trailer] != 12 || bytesPerLine < picture.width) {
        ADD_FAILURE() << path << ": no palette trailer or short lines";
        return Picture{};
    }
    picture.palette.assign(bytes.begin() + trailer + 1, bytes.end());

    // The scan lines as one run-length stream.
    std::vector<uint8_t> stream;
    const size_t wanted = static_cast<size_t>(bytesPerLine) * picture.height;
    size_t pos = 128;
    while (stream.size() < wanted && pos < trailer) {
        const uint8_t b = bytes[pos++];
        if (b >= 192) {
            if (pos >= trailer) break;
            stream.insert(stream.end(), b & 63, bytes[pos++]);
        } else {
            stream.push_back(b);
        }
    }
    if (stream.size() < wanted) {
        ADD_FAILURE() << path << ": picture data ends early";
        return Picture{};
    }
    picture.pixels.resize(static_cast<size_t>(picture.width) * picture.height);
    for (int y = 0; y < picture.height; ++y) {
        for (int x = 0; x < picture.width; ++x) {
            picture.pixels[static_cast<size_t>(y) * picture.width + x] =
                stream[static_cast<size_t>(y) * bytesPerLine + x];
        }
    }
    return picture;
}

Pictures LoadDemoPictures(const std::string& dir) {
    Pictures p;
    p.sky = LoadPcx(dir + "/SKY.PCX");
    p.logo1 = LoadPcx(dir + "/LOGO1.PCX");
    p.logo2 = LoadPcx(dir + "/LOGO2.PCX");
    return p;
}

std::vector<uint8_t> PanoramaModel(const Picture* sky, uint8_t initial) {
    std::vector<uint8_t> pano(static_cast<size_t>(kPanoramaWidth) * kFrameHeight, initial);
    auto source = [&](int column, int y) -> uint8_t {
        if (sky == nullptr) return initial;
        const int sx = column - sky->xmin;
        const int sy = y - sky->ymin;
        if (sx < 0 || sy < 0 || sx >= sky->width || sy >= sky->height) return initial;
        return sky->at(sx, sy);
    };
    for (int y = 0; y < kFrameHeight; ++y) {
        for (int c = 0; c < kPanoramaWidth; ++c) {
            int from = c;
            if (c >= 1280) {
                from = c - 1280;
            } else if (c >= 640) {
                from = 1279 - c;
            }
            pano[static_cast<size_t>(y) * kPanoramaWidth + c] = source(from, y);
        }
    }
    return pano;
}

Logo LogoFromPicture(const Picture& picture, int width, int height) {
    Logo logo;
    logo.width = width;
    logo.height = height;
    logo.rowsTopFirst.resize(static_cast<size_t>(width) * height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            logo.rowsTopFirst[static_cast<size_t>(y) * width + x] = picture.at(x, y);
        }
    }
    return logo;
}

void DrawLogo(std::vector<uint8_t>& frame, const Logo& logo, int y, int level) {
    if (level <= 0) return;
    const int w = level >= 10 ? logo.width : logo.width * level / 10;
    const int h = level >= 10 ? logo.height : logo.height * level / 10;
    if (w <= 0 || h <= 0) return;
    const int left = (kFrameWidth - w) / 2;
    // Shrinking keeps the source column and row (counted from the bottom)
    // under the near end of each destination pixel's span.
    for (int r = 0; r < h; ++r) {
        const int sourceFromBottom = r * logo.height / h;
        const int sourceRow = logo.height - 1 - sourceFromBottom;
        for (int d = 0; d < w; ++d) {
            const int sourceColumn = d * logo.width / w;
            const uint8_t v = logo.rowsTopFirst[static_cast<size_t>(sourceRow) * logo.width + sourceColumn];
            if (v != 0) frame[static_cast<size_t>(y - r) * kFrameWidth + left + d] = v;
        }
    }
}

std::vector<uint8_t> ExpectedFrame(const std::vector<uint8_t>& panorama, const Logo& logo1, const Logo& logo2,
                                   int scrollX) {
    std::vector<uint8_t> frame(static_cast<size_t>(kFrameWidth) * kFrameHeight);
    for (int y = 0; y < kFrameHeight; ++y) {
        for (int x = 0; x < kFrameWidth; ++x) {
            frame[static_cast<size_t>(y) * kFrameWidth + x] =
                panorama[static_cast<size_t>(y) * kPanoramaWidth + scrollX + x];
        }
    }
    if (scrollX <= 240) {
        DrawLogo(frame, logo2, 80, scrollX / 10);
    } else {
        DrawLogo(frame, logo1, 160, (scrollX - 240) / 10);
        DrawLogo(frame, logo2, 80, 10);
    }
    return frame;
}

::testing::AssertionResult SamePixels(const std::vector<uint8_t>& actual, const std::vector<uint8_t>& expected,
                                      int width) {
    if (actual.size() != expected.size()) {
        return ::testing::AssertionFailure() << "sizes differ: " << actual.size() << " vs " << expected.size();
    }
    size_t differing = 0;
    size_t first = 0;
    for (size_t i = 0; i < actual.size(); ++i) {
        if (actual[i] != expected[i]) {
            if (differing == 0) first = i;
            ++differing;
        }
    }
    if (differing == 0) return ::testing::AssertionSuccess();
    std::ostringstream s;
    s << differing << " pixels differ; first at (" << first % width << ", " << first / width << "): got "
      << int(actual[first]) << ", expected " << int(expected[first]);
    return ::testing::AssertionFailure() << s.str();
}

Box DifferenceBox(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, int width) {
    Box box;
    for (size_t i = 0; i < a.size() && i < b.size(); ++i) {
        if (a[i] == b[i]) continue;
        const int x = static_cast<int>(i % width);
        const int y = static_cast<int>(i / width);
        if (box.empty()) {
            box = Box{x, x, y, y};
            continue;
        }
        if (x < box.left) box.left = x;
        if (x > box.right) box.right = x;
        if (y < box.top) box.top = y;
        if (y > box.bottom) box.bottom = y;
    }
    return box;
}

}  // namespace demomodel
