// SDL2_image reading PCX pictures from memory, for the benchmarks to measure
// the raster library's PCX reader against. Plain C++ only: no SDL type
// appears here.
#ifndef BENCH_PEERS_PCX_PEERS_H
#define BENCH_PEERS_PCX_PEERS_H

#include <cstddef>
#include <cstdint>

namespace peers {

// Decodes the PCX picture in `data` (IMG_LoadPCX_RW on a read-only memory
// stream) and frees the result. Returns the decoded width * height, or 0
// when SDL2_image refuses the picture.
long load_pcx_from_memory(const uint8_t* data, size_t size);

}  // namespace peers

#endif  // BENCH_PEERS_PCX_PEERS_H
