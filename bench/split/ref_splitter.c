/* ref_splitter FILE OUTDIR: the minimal C splitter the batch split is measured against.
 * 1 MiB reads, memchr for 0xFF, a 4-byte compare, streaming writes of each image to
 * OUTDIR/NAME_NNN.jpg. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define CHUNK (1 << 20)

int main(int argc, char** argv) {
    if (argc != 3) return 2;
    FILE* in = fopen(argv[1], "rb");
    if (!in) return 1;
    const char* base = strrchr(argv[1], '/');
    base = base ? base + 1 : argv[1];
    char stem[4096];
    snprintf(stem, sizeof stem, "%.*s", (int)(strlen(base) > 4 ? strlen(base) - 4 : 0), base);
    static unsigned char buf[CHUNK + 3];
    size_t carry = 0, got;
    int n = 0;
    FILE* out = NULL;
    while ((got = fread(buf + carry, 1, CHUNK, in)) > 0) {
        size_t len = carry + got, start = 0, i = 0;
        while (i + 4 <= len) {
            unsigned char* p = memchr(buf + i, 0xFF, len - 3 - i);
            if (!p) break;
            i = (size_t)(p - buf);
            if (memcmp(p, "\xFF\xD8\xFF\xE1", 4) == 0) {
                if (out && i > start) fwrite(buf + start, 1, i - start, out);
                if (out) fclose(out);
                char name[8192];
                snprintf(name, sizeof name, "%s/%s_%03d.jpg", argv[2], stem, ++n);
                out = fopen(name, "wb");
                if (!out) return 1;
                start = i;
            }
            i++;
        }
        size_t keep = len >= 3 ? 3 : len;
        if (out && len - keep > start) fwrite(buf + start, 1, len - keep - start, out);
        memmove(buf, buf + len - keep, keep);
        carry = keep;
    }
    if (out) {
        fwrite(buf, 1, carry, out);
        fclose(out);
    }
    fclose(in);
    return 0;
}
