#include "launcher/backdrop.h"

#include <cstring>
#include <new>

#include "platform/files.h"

namespace
{

int32_t read_le32(const uint8_t *p)
{
    return static_cast<int32_t>(static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                                static_cast<uint32_t>(p[2]) << 16 |
                                static_cast<uint32_t>(p[3]) << 24);
}

// The logical palette and the bitmap both index at most 256 colours.
constexpr int64_t MAX_COLOURS = 256;
constexpr int32_t BMP_UNCOMPRESSED = 0;
// The most the menu reads and keeps of a picture: 64 MB, an 8192 x 8192 picture, where the
// menu's own is 480 x 360. A larger one is refused as any unusable file is.
constexpr int64_t MAX_IMAGE_BYTES = int64_t{64} << 20;

bool create_dib_section(PictureRecord *picture, UiWindow window)
{
    uint8_t *bits = nullptr;
    uint8_t info[BMP_INFO_HEADER_BYTES];
    std::memcpy(info, picture->header, sizeof info);
    std::memset(info + 32, 0, 4);
    picture->bitmap = ui_create_dib_section(window, picture->palette, info, &bits);
    if (!picture->bitmap || !bits) return false;
    std::memcpy(bits, picture->pixels, static_cast<size_t>(picture->pixel_bytes));
    return true;
}

// Reads past count bytes of the file; false when it ends first.
bool skip(FilesFile file, int64_t count)
{
    uint8_t scratch[4096];
    while (count > 0) {
        size_t part = static_cast<size_t>(count < int64_t{4096} ? count : int64_t{4096});
        if (files_read(file, scratch, part) != part) return false;
        count -= static_cast<int64_t>(part);
    }
    return true;
}

} // namespace

bool backdrop_measure(const uint8_t *headers, int64_t file_size, PictureRecord *picture,
                      BackdropLayout *layout)
{
    const uint8_t *info = headers + BMP_FILE_HEADER_BYTES;
    if (headers[0] != 'B' || headers[1] != 'M') return false;
    // Only uncompressed 8-bit pictures are drawn: run-length packed rows, or pixels of another
    // depth read as 8-bit indices, come out as garbage.
    int32_t bits_per_pixel = info[14] | info[15] << 8;
    if (bits_per_pixel != 8 || read_le32(info + 16) != BMP_UNCOMPRESSED) return false;
    int64_t colours = static_cast<uint32_t>(read_le32(info + 32));
    if (colours == 0) colours = MAX_COLOURS;
    int64_t width = read_le32(info + 4);
    int64_t height = read_le32(info + 8);
    // Top-down, empty and overflowing pictures are not loaded, nor sizes the file cannot hold.
    if (colours > MAX_COLOURS || width <= 0 || height <= 0) return false;
    int64_t palette_bytes = colours * 4;
    int64_t pixel_bytes = ((width + 3) & ~int64_t{3}) * height;
    if (pixel_bytes + palette_bytes + BMP_INFO_HEADER_BYTES > MAX_IMAGE_BYTES) return false;
    // Newer writers put a larger info header (108 or 124 bytes) before the colour table, and
    // the pixels may begin later than right after it: both places come from the headers, and
    // every part must lie inside the file, in order, without overlapping. A pixel offset of 0
    // means the pixels follow the colour table.
    int64_t info_bytes = static_cast<uint32_t>(read_le32(info));
    int64_t table_at = BMP_FILE_HEADER_BYTES + info_bytes;
    int64_t pixels_at = static_cast<uint32_t>(read_le32(headers + 10));
    if (pixels_at == 0) pixels_at = table_at + palette_bytes;
    if (info_bytes < BMP_INFO_HEADER_BYTES || pixels_at < table_at + palette_bytes ||
        pixels_at > MAX_IMAGE_BYTES || pixels_at + pixel_bytes > file_size)
        return false;
    picture->colour_count = static_cast<int32_t>(colours);
    picture->palette_bytes = static_cast<int32_t>(palette_bytes);
    picture->pixel_bytes = static_cast<int32_t>(pixel_bytes);
    picture->image_bytes = static_cast<int32_t>(pixel_bytes + palette_bytes + 40);
    picture->width = static_cast<int32_t>(width);
    picture->height = static_cast<int32_t>(height);
    if (layout) {
        layout->table_at = table_at;
        layout->pixels_at = pixels_at;
    }
    return picture->image_bytes > 0;
}

bool backdrop_load(const char *path, PictureRecord *picture, UiWindow window)
{
    std::memset(picture, 0, sizeof *picture);
    FilesFile file = files_open_read(path);
    if (!file) return false;
    uint8_t headers[BMP_FILE_HEADER_BYTES + BMP_INFO_HEADER_BYTES];
    int64_t file_size = files_size(file);
    PictureRecord sizes = {};
    BackdropLayout layout = {};
    if (files_read(file, headers, sizeof headers) != sizeof headers ||
        !backdrop_measure(headers, file_size, &sizes, &layout)) {
        files_close(file);
        return false;
    }
    uint8_t *image = new (std::nothrow) uint8_t[static_cast<size_t>(sizes.image_bytes)];
    if (!image) {
        files_close(file);
        return false;
    }
    *picture = sizes;
    picture->image = image;
    picture->header = image;
    picture->colour_table = image + BMP_INFO_HEADER_BYTES;
    picture->pixels = picture->colour_table + picture->palette_bytes;
    std::memcpy(picture->header, headers + BMP_FILE_HEADER_BYTES, BMP_INFO_HEADER_BYTES);
    // The header kept is the 40-byte one, whatever the file's was: the colour table follows it.
    std::memcpy(picture->header, "\x28\0\0\0", 4);
    int64_t at = BMP_FILE_HEADER_BYTES + BMP_INFO_HEADER_BYTES;
    bool complete =
        skip(file, layout.table_at - at) &&
        files_read(file, picture->colour_table, static_cast<size_t>(picture->palette_bytes)) ==
            static_cast<size_t>(picture->palette_bytes) &&
        skip(file, layout.pixels_at - layout.table_at - picture->palette_bytes) &&
        files_read(file, picture->pixels, static_cast<size_t>(picture->pixel_bytes)) ==
            static_cast<size_t>(picture->pixel_bytes);
    files_close(file);

    UiPaletteEntry entries[MAX_COLOURS];
    for (int32_t i = 0; i < picture->colour_count; i++) {
        entries[i].red = picture->colour_table[4 * i + 2];
        entries[i].green = picture->colour_table[4 * i + 1];
        entries[i].blue = picture->colour_table[4 * i];
        entries[i].flags = 0;
    }
    if (complete) picture->palette = ui_create_palette(entries, picture->colour_count);
    if (!picture->palette || !create_dib_section(picture, window)) {
        if (picture->palette)
            backdrop_release(picture);
        else
            delete[] picture->image;
        std::memset(picture, 0, sizeof *picture);
        return false;
    }
    return true;
}

void backdrop_paint(UiDc dc, const PictureRecord *picture, int32_t x, int32_t y)
{
    if (!picture->palette) return;
    ui_paint_bitmap(dc, picture->palette, picture->bitmap, x, y, picture->width, picture->height);
}

void backdrop_release(PictureRecord *picture)
{
    if (!picture->palette) return;
    ui_delete_palette(picture->palette);
    picture->palette = 0;
    delete[] picture->image;
    picture->image = picture->header = picture->colour_table = picture->pixels = nullptr;
    if (picture->bitmap) ui_delete_bitmap(picture->bitmap);
    picture->bitmap = 0;
}
