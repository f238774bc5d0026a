// Writes the PCX pictures raster-bench decodes into a folder, so that other
// decoders (bench/pillow-pcx) can be timed on the very same bytes.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench_pictures.h"

int main(int argc, char** argv) {
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::printf(
            "usage: raster-bench-pictures FOLDER\n"
            "Writes the benchmark's PCX pictures into FOLDER (which must exist),\n"
            "one NAME.pcx per picture, and prints each file's name.\n");
        return 0;
    }
    if (argc != 2) {
        std::fprintf(stderr, "raster-bench-pictures: give one folder to write into (see --help)\n");
        return 2;
    }
    for (int id = 0; id < benchpictures::kPictureCount; ++id) {
        const auto picture = static_cast<benchpictures::PictureId>(id);
        const std::vector<uint8_t> bytes = benchpictures::make_pcx(picture);
        const std::string path = std::string(argv[1]) + "/" + benchpictures::shape_of(picture).name + ".pcx";
        std::FILE* file = std::fopen(path.c_str(), "wb");
        if (file == nullptr) {
            std::fprintf(stderr, "raster-bench-pictures: cannot write %s\n", path.c_str());
            return 1;
        }
        const bool written = !bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
        if (std::fclose(file) != 0 || !written) {
            std::fprintf(stderr, "raster-bench-pictures: cannot write %s\n", path.c_str());
            return 1;
        }
        std::printf("%s\n", path.c_str());
    }
    return 0;
}
