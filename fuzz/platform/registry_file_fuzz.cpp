// The registry file reader on any text.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "platform/posix/registry_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::vector<RegistryValue> values;
    const char *text = reinterpret_cast<const char *>(data);
    registry_file_parse(text, size, "SOFTWARE\\Quillon\\Zenthor\\Inf", &values);
    for (const RegistryValue &v : values)
        if (v.data.size() > size * 4 + 8)
            std::abort(); // a value can never be longer than the text it came from allows
    registry_file_parse(text, size, "K", &values);
    return 0;
}
