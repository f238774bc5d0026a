/* Decodes PCX pictures and encodes them again, on four threads at once,
 * with the PCX codec alone: no window, surface or library set-up.
 *
 *     pcx_threads OUT_FOLDER FILE...
 *
 * Each FILE is decoded (indexed pictures to their own indices and colours,
 * true colour to RGB, or RGBA when it has a fourth plane) and written again
 * as OUT_FOLDER/NAME, with one line saying what it held and what was lost.
 * Exit status: 0 when every file was copied, 1 when one was not, 2 for a
 * wrong command line. */
#include <raster/pcx_codec.h>

#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

enum { kThreads = 4, kNotWritten = 100 /* a result of this program's own */ };

struct work {
    const char* folder;
    char** files;
    int count;
    int next; /* the next file to take, under `lock` */
    int failed;
    pthread_mutex_t lock;
};

static unsigned char* read_file(const char* path, size_t* size) {
    FILE* file = fopen(path, "rb");
    unsigned char* bytes = NULL;
    long length;
    if (file == NULL) return NULL;
    if (fseek(file, 0, SEEK_END) == 0 && (length = ftell(file)) >= 0 && fseek(file, 0, SEEK_SET) == 0) {
        bytes = malloc((size_t)length + 1);
        if (bytes != NULL && fread(bytes, 1, (size_t)length, file) != (size_t)length) {
            free(bytes);
            bytes = NULL;
        }
        *size = (size_t)length;
    }
    fclose(file);
    return bytes;
}

static int write_file(const char* path, const unsigned char* bytes, size_t size) {
    FILE* file = fopen(path, "wb");
    int written;
    if (file == NULL) return 0;
    written = fwrite(bytes, 1, size, file) == size;
    return fclose(file) == 0 && written;
}

/* The damage bits in words, after "; " each. */
static void say_damage(char* text, size_t room, int32_t damage) {
    int32_t bit;
    text[0] = '\0';
    for (bit = 1; bit <= PCX_DAMAGE_MISREAD_RUNS; bit <<= 1) {
        if ((damage & bit) == 0) continue;
        strncat(text, "; ", room - strlen(text) - 1);
        strncat(text, pcx_damage_text(bit), room - strlen(text) - 1);
    }
}

/* One file: decoded, encoded again and written. A line on standard output
 * (or error) says how it went; 0 when it could not be copied. */
static int copy_picture(const char* folder, const char* path) {
    const char* name = strrchr(path, '/') != NULL ? strrchr(path, '/') + 1 : path;
    size_t size = 0, row, bytes, encoded = 0;
    unsigned char *data = read_file(path, &size), *pixels = NULL, *out = NULL;
    pcx_facts facts;
    int32_t format, result;
    char target[4096], damage[256];
    if (data == NULL) {
        fprintf(stderr, "%s: cannot read the file\n", path);
        return 0;
    }
    result = pcx_inspect(data, size, &facts);
    if (result == PCX_OK) {
        format = facts.colours <= 256 ? PCX_FORMAT_INDICES : facts.planes == 4 ? PCX_FORMAT_RGBA : PCX_FORMAT_RGB;
        /* Sizes in size_t, checked: a header may claim 65536 x 65536. */
        row = (size_t)facts.width * (size_t)format;
        bytes = (size_t)facts.height <= SIZE_MAX / row ? row * (size_t)facts.height : 0;
        pixels = bytes != 0 ? malloc(bytes) : NULL;
        result =
            pixels == NULL ? RASTER_NO_MEMORY : pcx_decode(data, size, format, pixels, bytes, (ptrdiff_t)row, &facts);
    }
    if (result == PCX_OK) {
        encoded = pcx_encode(pixels, facts.width, facts.height, (ptrdiff_t)row, format, facts.palette,
                             facts.colours <= 256 ? facts.colours : 0, NULL, 0);
        out = encoded != 0 ? malloc(encoded) : NULL;
        if (out == NULL || pcx_encode(pixels, facts.width, facts.height, (ptrdiff_t)row, format, facts.palette,
                                      facts.colours <= 256 ? facts.colours : 0, out, encoded) != encoded) {
            result = RASTER_NO_MEMORY;
        }
    }
    snprintf(target, sizeof target, "%s/%s", folder, name);
    if (result == PCX_OK && !write_file(target, out, encoded)) {
        fprintf(stderr, "%s: cannot write %s\n", path, target);
        result = kNotWritten;
    }
    if (result == PCX_OK) {
        say_damage(damage, sizeof damage, facts.damage);
        printf("%s: %d x %d, %d colours, %lu bytes written again in %lu%s\n", name, (int)facts.width, (int)facts.height,
               (int)facts.colours, (unsigned long)size, (unsigned long)encoded, damage);
    } else if (result != kNotWritten) {
        fprintf(stderr, "%s: %s\n", path, pcx_result_text(result));
    }
    free(out);
    free(pixels);
    free(data);
    return result == PCX_OK;
}

static void* worker(void* argument) {
    struct work* work = argument;
    for (;;) {
        int mine, copied;
        pthread_mutex_lock(&work->lock);
        mine = work->next < work->count ? work->next++ : -1;
        pthread_mutex_unlock(&work->lock);
        if (mine < 0) return NULL;
        copied = copy_picture(work->folder, work->files[mine]);
        pthread_mutex_lock(&work->lock);
        if (!copied) work->failed = 1;
        pthread_mutex_unlock(&work->lock);
    }
}

int main(int argc, char** argv) {
    struct work work;
    pthread_t threads[kThreads];
    int started[kThreads], any = 0, i;
    if (argc == 2 && (strcmp(argv[1], "--help") == 0 || strcmp(argv[1], "-h") == 0)) {
        printf(
            "usage: pcx_threads OUT_FOLDER FILE...\n"
            "Decodes each PCX FILE and encodes it again into OUT_FOLDER (same name), on %d threads.\n",
            kThreads);
        return 0;
    }
    if (argc < 3) {
        fprintf(stderr, "pcx_threads: give an output folder and at least one PCX file (see --help)\n");
        return 2;
    }
    work.folder = argv[1];
    work.files = argv + 2;
    work.count = argc - 2;
    work.next = 0;
    work.failed = 0;
    pthread_mutex_init(&work.lock, NULL);
    for (i = 0; i < kThreads; ++i) any |= started[i] = pthread_create(&threads[i], NULL, worker, &work) == 0;
    if (!any) worker(&work); /* no thread to be had: the work is done here */
    for (i = 0; i < kThreads; ++i) {
        if (started[i]) pthread_join(threads[i], NULL);
    }
    pthread_mutex_destroy(&work.lock);
    return work.failed ? 1 : 0;
}
