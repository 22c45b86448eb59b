// make_big_mpo OUT IMAGES MIN_BYTES MAX_BYTES: an MPO-like file of IMAGES images whose sizes
// lie between MIN_BYTES and MAX_BYTES; each starts FF D8 FF E1 and holds random bytes with an
// FF 00 pair about every 250 bytes, like entropy-coded JPEG data.
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: make_big_mpo OUT IMAGES MIN_BYTES MAX_BYTES\n");
        return 2;
    }
    const long images = std::atol(argv[2]);
    const long long lo = std::atoll(argv[3]), hi = std::atoll(argv[4]);
    if (images < 1 || lo < 16 || hi < lo) return 2;
    std::FILE* f = std::fopen(argv[1], "wb");
    if (!f) return 1;
    std::mt19937_64 rng(42);
    std::vector<unsigned char> buf;
    for (long i = 0; i < images; ++i) {
        const auto size = static_cast<std::size_t>(lo + static_cast<long long>(rng() % static_cast<unsigned long long>(hi - lo + 1)));
        buf.resize(size);
        for (std::size_t k = 0; k < size; ++k) {
            auto v = static_cast<unsigned char>(rng() >> 56);
            buf[k] = v == 0xFF ? 0xFE : v;
        }
        for (std::size_t k = 4; k + 1 < size; k += 200 + rng() % 100) {
            buf[k] = 0xFF;
            buf[k + 1] = 0x00;
        }
        buf[0] = 0xFF; buf[1] = 0xD8; buf[2] = 0xFF; buf[3] = 0xE1;
        buf[size - 2] = 0xFF; buf[size - 1] = 0xD9;
        if (std::fwrite(buf.data(), 1, size, f) != size) return 1;
    }
    return std::fclose(f) == 0 ? 0 : 1;
}
