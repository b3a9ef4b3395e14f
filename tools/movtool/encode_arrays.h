// The encoder's working objects each own a handful of plain malloc'd arrays, taken together when
// the object is made and given back together when it is freed.
#pragma once

#include <cstdlib>

// True when every one of the pointers is set: one test after a run of allocations.
template <typename... T> bool encode_all_allocated(const T *...arrays)
{
    return ((arrays != nullptr) && ...);
}

// Frees each of the arrays; a null one is left alone, as free does.
template <typename... T> void encode_free_all(T *...arrays)
{
    (free(arrays), ...);
}
