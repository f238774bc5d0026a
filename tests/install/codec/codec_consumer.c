/* A C program that includes only the codec's header and links only the
 * codec: it decodes a PCX picture held in memory to RGBA and prints what
 * examples/sky prints for it (size, colours, the top-left pixel).
 *   codec_consumer PICTURE.PCX */
#include <raster/pcx_codec.h>
#include <stdio.h>
#include <stdlib.h>

static unsigned char* read_file(const char* name, size_t* size) {
    FILE* f = fopen(name, "rb");
    unsigned char* data = NULL;
    long length;
    if (f == NULL) return NULL;
    if (fseek(f, 0, SEEK_END) == 0 && (length = ftell(f)) > 0 && fseek(f, 0, SEEK_SET) == 0) {
        data = malloc((size_t)length);
        if (data != NULL && fread(data, 1, (size_t)length, f) != (size_t)length) {
            free(data);
            data = NULL;
        }
        *size = (size_t)length;
    }
    fclose(f);
    return data;
}

int main(int argc, char** argv) {
    size_t size = 0, row, bytes;
    unsigned char *data, *rgba;
    pcx_facts facts;
    int32_t result;
    int sound;
    if (argc != 2 || (data = read_file(argv[1], &size)) == NULL) return 1;
    if (pcx_inspect(data, size, &facts) != PCX_OK) return 1;
    row = (size_t)facts.width * 4;
    bytes = row * (size_t)facts.height;
    rgba = malloc(bytes);
    if (rgba == NULL) return 1;
    result = pcx_decode(data, size, PCX_FORMAT_RGBA, rgba, bytes, (ptrdiff_t)row, &facts);
    if (result != PCX_OK) {
        fprintf(stderr, "codec_consumer: %s\n", pcx_result_text(result));
        return 1;
    }
    if (facts.damage != 0) fprintf(stderr, "codec_consumer: %s\n", pcx_damage_text(facts.damage & -facts.damage));
    printf("%d x %d, %d colours, top left %d %d %d\n", facts.width, facts.height, facts.colours, rgba[0], rgba[1],
           rgba[2]);
    sound = facts.damage == 0 && rgba[3] == 255;
    free(rgba);
    free(data);
    return sound ? 0 : 1;
}
