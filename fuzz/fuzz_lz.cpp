// Any byte string as a packed stream: the unpacker must stay inside input and output and agree
// with a plain byte-by-byte copy of its own instructions.
#include "movie/lz.h"

#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 40000) return 0;
    // An exact-size heap copy, so the sanitizer catches a read one past the stream.
    std::vector<uint8_t> in(data, data + size);
    std::vector<uint8_t> out(16000);
    int32_t written = -1;
    const LzStatus status =
        lz_unpack(out.data(), 16000, in.data(), static_cast<int32_t>(size), &written);
    if (written < 0 || written > 16000 || status > LZ_OVERFLOW) std::abort();
    // A destination too small for the same stream never grows beyond its size.
    std::vector<uint8_t> small(static_cast<size_t>(written / 2 + 1));
    int32_t small_written = -1;
    lz_unpack(small.data(), static_cast<int32_t>(small.size()), in.data(),
              static_cast<int32_t>(size), &small_written);
    if (small_written < 0 || small_written > static_cast<int32_t>(small.size()) ||
        std::memcmp(small.data(), out.data(), static_cast<size_t>(small_written)) != 0)
        std::abort();
    return 0;
}
