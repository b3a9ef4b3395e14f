// Codes and colour list from the input: the first 16000 bytes are codes (fewer when the input
// is short), the rest the colour list.
#include "movie/picture.h"

#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const size_t code_count = size < 16000 ? size : 16000;
    std::vector<uint8_t> codes(data, data + code_count);
    std::vector<uint8_t> colours(data + code_count, data + size);
    std::vector<uint8_t> pictures(128000, 0x5A);
    int32_t blocks = -1, used = -1;
    picture_decode(colours.data(), static_cast<int32_t>(colours.size()), pictures.data(),
                   codes.data(), static_cast<int32_t>(code_count), &blocks, &used);
    if (blocks < 0 || blocks > 16000 || used < 0 || used > static_cast<int32_t>(colours.size()))
        std::abort();
    return 0;
}
