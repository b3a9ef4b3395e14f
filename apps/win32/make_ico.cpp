// Build-machine tool: writes the program icon, which the menu's code keeps as data, as the icon
// file the resource compiler puts into the Windows programs' icon group.
// usage: make_ico OUT.ico
#include "launcher/icon.h"

#include <cstdio>
#include <vector>

namespace
{

void put16(std::vector<uint8_t> *out, uint32_t value)
{
    out->push_back(static_cast<uint8_t>(value));
    out->push_back(static_cast<uint8_t>(value >> 8));
}

void put32(std::vector<uint8_t> *out, uint32_t value)
{
    put16(out, value & 0xFFFF);
    put16(out, value >> 16);
}

// One image as the icon file stores it: an info header of twice the height, the colour table,
// the colour indices bottom-up (4 or 8 bits), then the 1-bit transparency mask bottom-up.
std::vector<uint8_t> image_bytes(const UiIconImage &image)
{
    int bits = image.colour_count <= 16 ? 4 : 8;
    int colours = 1 << bits;
    int row = ((image.width * bits + 31) / 32) * 4;
    int mask_row = ((image.width + 31) / 32) * 4;
    std::vector<uint8_t> out;
    put32(&out, 40);
    put32(&out, static_cast<uint32_t>(image.width));
    put32(&out, static_cast<uint32_t>(image.height * 2));
    put16(&out, 1);
    put16(&out, static_cast<uint32_t>(bits));
    put32(&out, 0);
    put32(&out, static_cast<uint32_t>((row + mask_row) * image.height));
    put32(&out, 0);
    put32(&out, 0);
    put32(&out, 0);
    put32(&out, 0);
    for (int i = 0; i < colours; i++) {
        bool have = i < image.colour_count;
        out.push_back(have ? image.palette[3 * i + 2] : 0);
        out.push_back(have ? image.palette[3 * i + 1] : 0);
        out.push_back(have ? image.palette[3 * i] : 0);
        out.push_back(0);
    }
    for (int y = image.height - 1; y >= 0; y--) {
        std::vector<uint8_t> line(static_cast<size_t>(row), 0);
        for (int x = 0; x < image.width; x++) {
            uint8_t index = image.pixels[y * image.width + x];
            if (bits == 8)
                line[static_cast<size_t>(x)] = index;
            else
                line[static_cast<size_t>(x / 2)] |= (x % 2) ? (index & 15) : (index & 15) << 4;
        }
        out.insert(out.end(), line.begin(), line.end());
    }
    for (int y = image.height - 1; y >= 0; y--) {
        std::vector<uint8_t> line(static_cast<size_t>(mask_row), 0);
        for (int x = 0; x < image.width; x++)
            if (image.transparent[y * image.width + x])
                line[static_cast<size_t>(x / 8)] |= static_cast<uint8_t>(0x80 >> (x % 8));
        out.insert(out.end(), line.begin(), line.end());
    }
    return out;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_ico OUT.ico\n");
        return 2;
    }
    std::vector<std::vector<uint8_t>> images;
    for (const UiIconImage &image : icon_program_images)
        images.push_back(image_bytes(image));
    std::vector<uint8_t> out;
    put16(&out, 0);
    put16(&out, 1); // an icon
    put16(&out, static_cast<uint32_t>(images.size()));
    uint32_t offset = static_cast<uint32_t>(6 + 16 * images.size());
    for (size_t i = 0; i < images.size(); i++) {
        const UiIconImage &image = icon_program_images[i];
        out.push_back(static_cast<uint8_t>(image.width));
        out.push_back(static_cast<uint8_t>(image.height));
        out.push_back(static_cast<uint8_t>(image.colour_count < 256 ? image.colour_count : 0));
        out.push_back(0);
        put16(&out, 1);
        put16(&out, image.colour_count <= 16 ? 4 : 8);
        put32(&out, static_cast<uint32_t>(images[i].size()));
        put32(&out, offset);
        offset += static_cast<uint32_t>(images[i].size());
    }
    for (const std::vector<uint8_t> &image : images)
        out.insert(out.end(), image.begin(), image.end());
    FILE *file = std::fopen(argv[1], "wb");
    if (!file) {
        std::perror(argv[1]);
        return 1;
    }
    bool ok = std::fwrite(out.data(), 1, out.size(), file) == out.size();
    ok = std::fclose(file) == 0 && ok;
    if (!ok) std::fprintf(stderr, "make_ico: cannot write %s\n", argv[1]);
    return ok ? 0 : 1;
}
