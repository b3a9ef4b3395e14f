// LZ unpacker. Every instruction is checked whole against the packed length, the bytes already
// written and the destination's end before anything of it is written, so a damaged stream
// stops cleanly at its first bad instruction.
#include "movie/lz.h"

#include <cstring>

namespace
{

// Moves 16 bytes through a register. Source and destination of a copy never overlap within the
// first L bytes, but a 16-byte step past L may touch bytes of the destination, so the load must
// finish before the store.
inline void move16(uint8_t *to, const uint8_t *from)
{
    uint8_t t[16];
    std::memcpy(t, from, 16);
    std::memcpy(to, t, 16);
}

// Copies L bytes in 16-byte steps; the caller guarantees 15 bytes of slack after both runs.
inline void move_run_wide(uint8_t *to, const uint8_t *from, int32_t length)
{
    for (int32_t i = 0; i < length; i += 16)
        move16(to + i, from + i);
}

// The common short run (up to 32 bytes) as two fixed steps, with no loop to mispredict.
inline void move32(uint8_t *to, const uint8_t *from)
{
    move16(to, from);
    move16(to + 16, from + 16);
}

constexpr int32_t SLACK = 15;

} // namespace

LzStatus lz_unpack(uint8_t *dest, int32_t dest_size, const uint8_t *source, int32_t length,
                   int32_t *written)
{
    const uint8_t *in = source;
    const uint8_t *const in_end = source + (length > 0 ? length : 0);
    uint8_t *out = dest;
    uint8_t *const out_end = dest + (dest_size > 0 ? dest_size : 0);
    LzStatus status = LZ_OK;

    while (in < in_end) {
        const unsigned c = in[0];
        const int32_t n = static_cast<int32_t>(c & 0x1F);
        const unsigned op = c >> 5;
        const int32_t left = static_cast<int32_t>(in_end - in);
        const int32_t room = static_cast<int32_t>(out_end - out);

        if (op == 0 || op == 1 || op >= 6) {
            // Literal run: operation 0 carries its length in the control byte alone, the
            // others (6 and 7 behave as 1) add an extension byte.
            const int32_t header = op == 0 ? 1 : 2;
            if (left < header) {
                status = LZ_TRUNCATED;
                break;
            }
            const int32_t run = op == 0 ? n + 1 : n + 32 * in[1] + 1;
            if (left - header < run) {
                status = LZ_TRUNCATED;
                break;
            }
            if (room < run) {
                status = LZ_OVERFLOW;
                break;
            }
            const uint8_t *from = in + header;
            if (run <= 32 && left - header >= 32 + SLACK && room >= 32 + SLACK)
                move32(out, from);
            else if (left - header - run >= SLACK && room - run >= SLACK)
                move_run_wide(out, from, run);
            else
                std::memcpy(out, from, static_cast<size_t>(run));
            in = from + run;
            out += run;
            continue;
        }

        // Copy from the output: operation 2 (o), 3 (e o), 4 (o o), 5 (e o o).
        static constexpr int32_t header_bytes[6] = {0, 0, 2, 3, 3, 4};
        const int32_t header = header_bytes[op];
        if (left < header) {
            status = LZ_TRUNCATED;
            break;
        }
        int32_t run = n + 4;
        int32_t offset = 0;
        switch (op) {
        case 2:
            offset = in[1];
            break;
        case 3:
            run += 32 * in[1];
            offset = in[2];
            break;
        case 4:
            offset = in[1] | in[2] << 8;
            break;
        default:
            run += 32 * in[1];
            offset = in[2] | in[3] << 8;
            break;
        }
        // The distance counts from the current end back over the copy's own length as well,
        // so source and destination never overlap.
        const int32_t distance = offset + run;
        if (distance > out - dest) {
            status = LZ_DISTANCE;
            break;
        }
        if (room < run) {
            status = LZ_OVERFLOW;
            break;
        }
        const uint8_t *from = out - distance;
        if (run <= 32 && room >= 32 + SLACK)
            move32(out, from);
        else if (room - run >= SLACK)
            move_run_wide(out, from, run);
        else
            std::memcpy(out, from, static_cast<size_t>(run));
        in += header;
        out += run;
    }
    if (written) *written = static_cast<int32_t>(out - dest);
    return status;
}
