// Makes the demo CD's own pictures and sound: the trailer's pictures (PNG) and sound track (WAV),
// and the menu's 480x360 8-bit background picture (BMP). Everything is computed, nothing is
// taken from elsewhere, so the CD can be rebuilt anywhere.
#include "apps/democd/font.h"
#include "platform/standard_files.h"

#include <png.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace
{

constexpr double PI = 3.14159265358979323846;
constexpr int W = 320;
constexpr int H = 200;
constexpr double FPS = 12.5;          // two pictures a 160 ms record
constexpr int PICTURES = 376;         // 188 records, 30.08 s
constexpr double SCENE_SECONDS = 6.0; // five scenes
constexpr double BEAT = 0.48;         // 125 beats a minute: one beat is three records

// A colour channel of 0 to 1 as a byte.
uint8_t channel_byte(double v)
{
    // The pictures have always been made with this rounding, of values from 0 to 255.5.
    // NOLINTNEXTLINE(bugprone-incorrect-roundings)
    return static_cast<uint8_t>(std::clamp(v, 0.0, 1.0) * 255 + 0.5);
}

// Where cell (x, y) of rows `width` cells long is; x and y are never negative.
size_t cell(int x, int y, int width)
{
    return static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x);
}

struct Rgb {
    double r, g, b;
};

struct Canvas {
    int w, h;
    std::vector<Rgb> px;
    Canvas(int w_, int h_) : w(w_), h(h_), px(static_cast<size_t>(w_ * h_), Rgb{0, 0, 0}) {}
    Rgb &at(int x, int y) { return px[cell(x, y, w)]; }
    void blend(int x, int y, Rgb c, double a)
    {
        if (x < 0 || y < 0 || x >= w || y >= h || a <= 0) return;
        Rgb &p = at(x, y);
        a = std::min(a, 1.0);
        p.r += (c.r - p.r) * a;
        p.g += (c.g - p.g) * a;
        p.b += (c.b - p.b) * a;
    }
};

Rgb hsv(double h, double s, double v)
{
    h = std::fmod(h, 1.0);
    if (h < 0) h += 1;
    const double i = std::floor(h * 6);
    const double f = h * 6 - i;
    const double p = v * (1 - s), q = v * (1 - f * s), t = v * (1 - (1 - f) * s);
    switch (static_cast<int>(i) % 6) {
    case 0:
        return {v, t, p};
    case 1:
        return {q, v, p};
    case 2:
        return {p, v, t};
    case 3:
        return {p, q, v};
    case 4:
        return {t, p, v};
    default:
        return {v, p, q};
    }
}

// Text in the 5x7 font, `scale` pixels a font pixel, centred on (cx, cy), with a dark shadow.
void draw_text(Canvas &c, const std::string &text, int cx, int cy, int scale, Rgb colour,
               double alpha)
{
    const int width = static_cast<int>(text.size()) * 6 * scale - scale;
    const int x0 = cx - width / 2;
    const int y0 = cy - 7 * scale / 2;
    for (int pass = 0; pass < 2; pass++) {
        const int shift = pass == 0 ? std::max(1, scale / 3) : 0;
        const Rgb ink = pass == 0 ? Rgb{0.02, 0.02, 0.05} : colour;
        for (size_t i = 0; i < text.size(); i++) {
            const uint8_t *rows = font_rows(text[i]);
            for (int ry = 0; ry < 7; ry++)
                for (int rx = 0; rx < 5; rx++) {
                    if (!(rows[ry] & (0x10 >> rx))) continue;
                    for (int dy = 0; dy < scale; dy++)
                        for (int dx = 0; dx < scale; dx++)
                            c.blend(x0 + static_cast<int>(i) * 6 * scale + rx * scale + dx + shift,
                                    y0 + ry * scale + dy + shift, ink, alpha);
                }
        }
    }
}

double hash01(int a, int b)
{
    uint32_t h = static_cast<uint32_t>(a) * 374761393u + static_cast<uint32_t>(b) * 668265263u;
    h = (h ^ (h >> 13)) * 1274126177u;
    return ((h ^ (h >> 16)) & 0xFFFFFF) / double(0x1000000);
}

double smooth(double e0, double e1, double x)
{
    const double t = std::clamp((x - e0) / (e1 - e0), 0.0, 1.0);
    return t * t * (3 - 2 * t);
}

void scene_stars(Canvas &c, double t)
{
    for (int y = 0; y < H; y++)
        for (int x = 0; x < W; x++)
            c.at(x, y) = {0.0, 0.0, 0.05 + 0.08 * y / H};
    for (int s = 0; s < 260; s++) {
        const double angle = hash01(s, 1) * 2 * PI;
        const double speed = 0.25 + hash01(s, 2);
        const double d = std::fmod(hash01(s, 3) + t * speed * 0.35, 1.0);
        const double r = d * d * 260;
        const double x = W / 2.0 + std::cos(angle) * r;
        const double y = H / 2.0 + std::sin(angle) * r * 0.8;
        const Rgb col = hsv(0.55 + 0.15 * hash01(s, 4), 0.3, 1.0);
        const int size = d > 0.6 ? 2 : 1;
        for (int dy = 0; dy < size; dy++)
            for (int dx = 0; dx < size; dx++)
                c.blend(static_cast<int>(x) + dx, static_cast<int>(y) + dy, col, 0.3 + d);
    }
    const double title = smooth(2.5, 4.5, t);
    if (title > 0) {
        const int scale = 3 + static_cast<int>(3 * title);
        draw_text(c, "ZENTHOR", W / 2, H / 2, scale, hsv(0.1 + 0.05 * std::sin(t * 3), 0.8, 1),
                  title);
    }
}

void scene_plasma(Canvas &c, double t)
{
    for (int y = 0; y < H; y++)
        for (int x = 0; x < W; x++) {
            const double v = std::sin(x / 23.0 + t * 1.7) + std::sin(y / 17.0 - t * 1.3) +
                             std::sin((x + y) / 31.0 + t) +
                             std::sin(std::hypot(x - 160 - 60 * std::sin(t), y - 100) / 19.0);
            c.at(x, y) = hsv(v / 8 + t * 0.08, 0.75, 0.55 + 0.35 * std::sin(v * 1.5));
        }
    draw_text(c, "A WORLD", W / 2, 70, 4, {1, 1, 1}, smooth(0.5, 1.5, t) - smooth(4.5, 5.5, t));
    draw_text(c, "IN MOTION", W / 2, 130, 4, {1, 1, 1}, smooth(1.5, 2.5, t) - smooth(4.5, 5.5, t));
}

void scene_tunnel(Canvas &c, double t)
{
    const double speed = 1.5 + t * 0.6;
    const double cx = W / 2.0 + 40 * std::sin(t * 0.9);
    const double cy = H / 2.0 + 25 * std::cos(t * 0.7);
    for (int y = 0; y < H; y++)
        for (int x = 0; x < W; x++) {
            const double dx = x - cx, dy = (y - cy) * 1.2;
            const double dist = std::max(std::hypot(dx, dy), 1.0);
            const double u = 64.0 / dist + t * speed;
            const double a = std::atan2(dy, dx) / PI + t * 0.15;
            const int check =
                (static_cast<int>(std::floor(u * 4)) + static_cast<int>(std::floor(a * 8))) & 1;
            const double shade = std::min(1.0, dist / 150.0);
            const Rgb base = check ? hsv(0.6 + t * 0.02, 0.7, 0.9) : hsv(0.95, 0.6, 0.5);
            c.at(x, y) = {base.r * shade, base.g * shade, base.b * shade};
        }
}

void scene_cube(Canvas &c, double t)
{
    // Sky and a scrolling chequered floor.
    for (int y = 0; y < H; y++)
        for (int x = 0; x < W; x++) {
            if (y < 110) {
                c.at(x, y) = {0.15 + 0.3 * y / 110, 0.1 + 0.2 * y / 110, 0.35 + 0.2 * y / 110};
                continue;
            }
            const double z = 800.0 / (y - 100);
            const double fx = (x - W / 2.0) * z / 160 + 0.3 * std::sin(t);
            const double fz = z / 20 + t * 3;
            const int check =
                (static_cast<int>(std::floor(fx)) + static_cast<int>(std::floor(fz))) & 1;
            const double fog = std::min(1.0, 12.0 / z);
            const Rgb f = check ? Rgb{0.9, 0.8, 0.3} : Rgb{0.2, 0.5, 0.25};
            c.at(x, y) = {f.r * fog + 0.3 * (1 - fog), f.g * fog + 0.3 * (1 - fog),
                          f.b * fog + 0.45 * (1 - fog)};
        }
    // A rotating cube, flat shaded by its faces' normals, drawn by scanning its projection.
    const double ax = t * 0.9, ay = t * 1.3;
    auto rotate = [&](double x, double y, double z, double out[3]) {
        double y1 = y * std::cos(ax) - z * std::sin(ax), z1 = y * std::sin(ax) + z * std::cos(ax);
        double x2 = x * std::cos(ay) + z1 * std::sin(ay),
               z2 = -x * std::sin(ay) + z1 * std::cos(ay);
        out[0] = x2, out[1] = y1, out[2] = z2;
    };
    const double bounce = std::fabs(std::sin(t * PI / BEAT / 2)) * 25;
    static const int faces[6][4] = {{0, 1, 3, 2}, {4, 6, 7, 5}, {0, 4, 5, 1},
                                    {2, 3, 7, 6}, {0, 2, 6, 4}, {1, 5, 7, 3}};
    double v[8][3], p[8][2];
    for (int i = 0; i < 8; i++) {
        rotate(i & 1 ? 1 : -1, i & 2 ? 1 : -1, i & 4 ? 1 : -1, v[i]);
        const double z = v[i][2] + 4.5;
        p[i][0] = W / 2.0 + v[i][0] * 190 / z;
        p[i][1] = 80 - bounce + v[i][1] * 190 / z;
    }
    for (int f = 0; f < 6; f++) {
        const double *a = v[faces[f][0]], *b = v[faces[f][1]], *d = v[faces[f][3]];
        const double e1[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]};
        const double e2[3] = {d[0] - a[0], d[1] - a[1], d[2] - a[2]};
        const double n[3] = {e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2],
                             e1[0] * e2[1] - e1[1] * e2[0]};
        const double len = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
        const double centre_z = (a[2] + d[2]) / 2 + 4.5;
        if (n[2] / len > 0 && centre_z > 0) // faces turned away are not drawn
            continue;
        const double light = 0.35 + 0.65 * std::max(0.0, (-n[2] - n[1] * 0.5) / len);
        const Rgb col = hsv(f / 6.0 + t * 0.05, 0.7, light);
        for (int y = 0; y < H; y++)
            for (int x = 0; x < W; x++) {
                bool inside = true;
                for (int k = 0; k < 4 && inside; k++) {
                    const double *q0 = p[faces[f][k]], *q1 = p[faces[f][(k + 1) % 4]];
                    inside = (q1[0] - q0[0]) * (y - q0[1]) - (q1[1] - q0[1]) * (x - q0[0]) <= 0;
                }
                if (inside) c.at(x, y) = col;
            }
    }
}

void scene_fire(Canvas &c, double t, std::vector<double> &heat)
{
    // Classic rising fire: a hot bottom row, each cell the cooled average of those below it.
    const int step = static_cast<int>(t * FPS);
    for (int x = 0; x < W; x++)
        heat[cell(x, H - 1, W)] = hash01(x / 3, step) > 0.35 ? 1.0 : 0.2;
    for (int pass = 0; pass < 3; pass++)
        for (int y = 0; y < H - 1; y++)
            for (int x = 0; x < W; x++) {
                const auto h = [&](int xx, int yy) {
                    xx = std::clamp(xx, 0, W - 1);
                    yy = std::clamp(yy, 0, H - 1);
                    return heat[cell(xx, yy, W)];
                };
                const double v =
                    (h(x - 1, y + 1) + h(x, y + 1) + h(x + 1, y + 1) + h(x, y + 2)) / 4;
                heat[cell(x, y, W)] = std::max(0.0, v - 0.012);
            }
    for (int y = 0; y < H; y++)
        for (int x = 0; x < W; x++) {
            const double v = heat[cell(x, y, W)];
            c.at(x, y) = {std::min(1.0, v * 2.2), std::clamp(v * 2.2 - 0.8, 0.0, 1.0),
                          std::clamp(v * 3 - 2.4, 0.0, 1.0)};
        }
    draw_text(c, "DEMO CD", W / 2, 60, 6, {1, 0.95, 0.8}, smooth(0.3, 1.2, t));
    draw_text(c, "PLAY IT NOW", W / 2, 125, 3, {1, 1, 1}, smooth(1.5, 2.5, t));
}

void render_picture(int index, Canvas &c, std::vector<double> &heat)
{
    const double time = index / FPS;
    const int scene = std::min(4, static_cast<int>(time / SCENE_SECONDS));
    const double t = time - scene * SCENE_SECONDS;
    // The last scene, the fire, carries its heat from one picture to the next.
    static void (*const scenes[])(Canvas &, double) = {scene_stars, scene_plasma, scene_tunnel,
                                                       scene_cube};
    if (scene < 4)
        scenes[scene](c, t);
    else
        scene_fire(c, t, heat);
    // Scene changes: a quick fade through black, and the end fades out.
    const double edge = std::min(t, SCENE_SECONDS - t);
    double fade = std::min(1.0, edge / 0.25 + 0.15);
    if (scene == 0) fade = std::min(1.0, t / 0.8 + 0.05);
    if (scene == 4) fade = std::min(fade, (PICTURES / FPS - time) / 1.0);
    fade = std::clamp(fade, 0.0, 1.0);
    for (Rgb &p : c.px)
        p = {p.r * fade, p.g * fade, p.b * fade};
}

bool write_png(const std::string &path, Canvas &c)
{
    FILE *f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(f);
        return false;
    }
    png_init_io(png, f);
    png_set_IHDR(png, info, static_cast<png_uint_32>(c.w), static_cast<png_uint_32>(c.h), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    std::vector<uint8_t> row(static_cast<size_t>(c.w) * 3);
    for (int y = 0; y < c.h; y++) {
        for (int x = 0; x < c.w; x++) {
            const Rgb &p = c.at(x, y);
            row[static_cast<size_t>(x) * 3] = channel_byte(p.r);
            row[static_cast<size_t>(x) * 3 + 1] = channel_byte(p.g);
            row[static_cast<size_t>(x) * 3 + 2] = channel_byte(p.b);
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return std::fclose(f) == 0;
}

// The sound track, on the same time line as the pictures: a beat of three records, a bass line
// and chords that change with the scenes, a sweep at each scene change, and a voice per scene
// that follows what moves (the stars' rise, the tunnel's speed, the fire's crackle).
bool write_sound(const std::string &path)
{
    constexpr int RATE = 44100;
    const int frames = static_cast<int>(PICTURES / FPS * RATE);
    std::vector<float> out(static_cast<size_t>(frames) * 2);
    static const double roots[5] = {110.0, 98.0, 87.31, 130.81, 110.0}; // A G F C A
    uint32_t noise = 12345;
    double phase_bass = 0, phase_lead = 0, phase_pad[3] = {0, 0, 0};
    for (int i = 0; i < frames; i++) {
        const double time = double(i) / RATE;
        const int scene = std::min(4, static_cast<int>(time / SCENE_SECONDS));
        const double t = time - scene * SCENE_SECONDS;
        const double beat_t = std::fmod(time, BEAT);
        noise = noise * 1664525u + 1013904223u;
        const double white = ((noise >> 9) & 0xFFFF) / 32768.0 - 1.0;

        double s = 0;
        // Kick: a falling sine at every beat.
        s += 0.55 * std::sin(2 * PI * (50 + 90 * std::exp(-beat_t * 30)) * beat_t) *
             std::exp(-beat_t * 9);
        // Hat on the off-beat.
        const double off = std::fmod(time + BEAT / 2, BEAT);
        s += 0.10 * white * std::exp(-off * 60);
        // Bass on eighths, root and fifth.
        const double eighth = std::fmod(time, BEAT / 2);
        const bool fifth = static_cast<int>(time / (BEAT / 2)) % 4 == 3;
        phase_bass += 2 * PI * roots[scene] * (fifth ? 1.5 : 1.0) / RATE;
        s += 0.22 * std::tanh(3 * std::sin(phase_bass)) * std::exp(-eighth * 4);
        // Pad: a minor or major triad two octaves up.
        const double third = scene == 3 ? 1.26 : 1.19;
        const double ratios[3] = {2.0, 2.0 * third, 3.0};
        for (int k = 0; k < 3; k++) {
            phase_pad[k] += 2 * PI * roots[scene] * ratios[k] / RATE;
            s += 0.05 * std::sin(phase_pad[k]) * smooth(0, 0.5, t) *
                 smooth(0, 0.5, SCENE_SECONDS - t);
        }
        // The scene's own voice.
        double lead_freq = 0, lead_amp = 0;
        switch (scene) {
        case 0:
            lead_freq = 440 + 600 * t / SCENE_SECONDS;
            lead_amp = 0.06;
            break;
        case 1:
            lead_freq = roots[1] * 4 * (1 + 0.02 * std::sin(t * 7));
            lead_amp = 0.07;
            break;
        case 2:
            lead_freq = 200 + 150 * (1.5 + t * 0.6);
            lead_amp = 0.06;
            break;
        case 3:
            lead_freq = roots[3] * (static_cast<int>(time / BEAT) % 2 ? 6 : 4);
            lead_amp = 0.06;
            break;
        default:
            lead_freq = 0;
            s += 0.12 * white * (0.5 + 0.5 * std::sin(t * 40)) * smooth(0, 1, t);
            break;
        }
        phase_lead += 2 * PI * lead_freq / RATE;
        s += lead_amp * (std::sin(phase_lead) + 0.3 * std::sin(3 * phase_lead));
        // Sweep into each scene change.
        const double to_change = SCENE_SECONDS - t;
        if (scene < 4 && to_change < 0.6) s += 0.18 * white * (1 - to_change / 0.6);
        // Fade out with the pictures.
        s *= std::clamp((PICTURES / FPS - time) / 1.0, 0.0, 1.0) * std::min(1.0, time / 0.3);
        const double pan = 0.5 + 0.3 * std::sin(time * 0.7);
        out[static_cast<size_t>(i) * 2] = static_cast<float>(std::tanh(s) * (1 - pan) * 1.4);
        out[static_cast<size_t>(i) * 2 + 1] = static_cast<float>(std::tanh(s) * pan * 1.4);
    }
    SF_INFO info{};
    info.samplerate = RATE;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE *f = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!f) return false;
    const bool ok = sf_writef_float(f, out.data(), frames) == frames;
    return sf_close(f) == 0 && ok;
}

void put_u16(std::vector<uint8_t> &b, uint32_t v)
{
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
}

void put_u32(std::vector<uint8_t> &b, uint32_t v)
{
    put_u16(b, v & 0xFFFF);
    put_u16(b, v >> 16);
}

// The menu's background: a dusk landscape with the title, 480x360, 8 bits a pixel. Its palette
// is built for the picture: 224 shades along the sky-to-ground ramp, 32 for the title.
bool write_background(const std::string &path)
{
    constexpr int BW = 480, BH = 360;
    std::vector<uint8_t> pixels(static_cast<size_t>(BW * BH));
    uint8_t palette[256][3];
    for (int i = 0; i < 224; i++) {
        // 0..127 sky (deep blue to orange), 128..191 mountains, 192..223 ground.
        Rgb c;
        if (i < 128)
            c = {0.05 + 0.9 * std::pow(i / 127.0, 1.6), 0.05 + 0.45 * std::pow(i / 127.0, 2),
                 0.25 + 0.2 * (1 - i / 127.0)};
        else if (i < 192)
            c = {0.08 + 0.25 * (i - 128) / 63.0, 0.05 + 0.12 * (i - 128) / 63.0,
                 0.15 + 0.15 * (i - 128) / 63.0};
        else
            c = {0.05 + 0.15 * (i - 192) / 31.0, 0.1 + 0.2 * (i - 192) / 31.0,
                 0.05 + 0.05 * (i - 192) / 31.0};
        palette[i][0] = static_cast<uint8_t>(c.r * 255);
        palette[i][1] = static_cast<uint8_t>(c.g * 255);
        palette[i][2] = static_cast<uint8_t>(c.b * 255);
    }
    for (int i = 224; i < 256; i++) {
        const double v = (i - 224) / 31.0;
        palette[i][0] = static_cast<uint8_t>(255 * std::min(1.0, 0.6 + v));
        palette[i][1] = static_cast<uint8_t>(255 * (0.35 + 0.6 * v));
        palette[i][2] = static_cast<uint8_t>(255 * 0.15 * v);
    }
    for (int y = 0; y < BH; y++)
        for (int x = 0; x < BW; x++) {
            // Ordered dither between neighbouring shades keeps the ramps smooth in 8 bits.
            const double dither = (((x & 1) * 2 + (y & 1) * 3) % 4) / 4.0;
            const double ridge =
                200 + 35 * std::sin(x / 47.0) + 18 * std::sin(x / 13.0 + 1) + 8 * std::sin(x / 5.3);
            const double far = 175 + 20 * std::sin(x / 71.0 + 2) + 10 * std::sin(x / 23.0);
            int index;
            if (y > 290)
                index = 192 + static_cast<int>((y - 290) / 70.0 * 31 + dither);
            else if (y > ridge)
                index = 128 + static_cast<int>((y - ridge) / 90.0 * 40 + dither);
            else if (y > far)
                index = 150 + static_cast<int>((y - far) / 60.0 * 20 + dither);
            else {
                const double sun = std::hypot(x - 330.0, y - 170.0);
                double v = y / 175.0 * 110 + dither;
                if (sun < 34)
                    v = 127;
                else if (sun < 80)
                    v = std::max(v, 127 - (sun - 34) * 0.9);
                index = static_cast<int>(std::clamp(v, 0.0, 127.0));
            }
            pixels[cell(x, y, BW)] = static_cast<uint8_t>(std::clamp(index, 0, 223));
        }
    // Title letters in the gold ramp, lighter towards the top of each letter.
    auto title = [&](const std::string &text, int cy, int scale) {
        const int width = static_cast<int>(text.size()) * 6 * scale - scale;
        const int x0 = (BW - width) / 2;
        const int y0 = cy - 7 * scale / 2;
        for (size_t i = 0; i < text.size(); i++) {
            const uint8_t *rows = font_rows(text[i]);
            for (int ry = 0; ry < 7; ry++)
                for (int rx = 0; rx < 5; rx++)
                    if (rows[ry] & (0x10 >> rx))
                        for (int dy = 0; dy < scale; dy++)
                            for (int dx = 0; dx < scale; dx++) {
                                const int x =
                                    x0 + static_cast<int>(i) * 6 * scale + rx * scale + dx;
                                const int y = y0 + ry * scale + dy;
                                pixels[cell(x + 3, y + 3, BW)] = 0; // shadow
                                pixels[cell(x, y, BW)] = static_cast<uint8_t>(
                                    255 - (ry * scale + dy) * 31 / (7 * scale));
                            }
        }
    };
    title("ZENTHOR", 80, 9);
    title("DEMO CD", 150, 4);

    // File header, info header (bottom-up, 8 bits, colours used 0), colour table, rows.
    std::vector<uint8_t> b;
    const uint32_t table = 256 * 4, offset = 14 + 40 + table, size = offset + BW * BH;
    b.push_back('B');
    b.push_back('M');
    put_u32(b, size);
    put_u32(b, 0);
    put_u32(b, offset);
    put_u32(b, 40);
    put_u32(b, BW);
    put_u32(b, BH);
    put_u16(b, 1);
    put_u16(b, 8);
    put_u32(b, 0);
    put_u32(b, BW * BH);
    put_u32(b, 2835);
    put_u32(b, 2835);
    put_u32(b, 0);
    put_u32(b, 0);
    for (int i = 0; i < 256; i++) {
        b.push_back(palette[i][2]);
        b.push_back(palette[i][1]);
        b.push_back(palette[i][0]);
        b.push_back(0);
    }
    for (int y = BH - 1; y >= 0; y--)
        b.insert(b.end(), pixels.begin() + y * BW, pixels.begin() + (y + 1) * BW);
    FILE *f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(b.data(), 1, b.size(), f) == b.size();
    return std::fclose(f) == 0 && ok;
}

int usage()
{
    std::fprintf(stderr,
                 "usage: democd_art trailer DIR    pictures DIR/%%04d.png and DIR/sound.wav\n"
                 "       democd_art background FILE.bmp\n");
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    if (!standard_files_open_missing()) return 1;
    if (argc != 3) return usage();
    const std::string what = argv[1];
    const std::string where = argv[2];
    if (what == "background") {
        if (!write_background(where)) {
            std::fprintf(stderr, "democd_art: cannot write %s\n", where.c_str());
            return 1;
        }
        return 0;
    }
    if (what != "trailer") return usage();
    std::vector<double> heat(static_cast<size_t>(W * H), 0.0);
    for (int i = 0; i < PICTURES; i++) {
        Canvas c(W, H);
        render_picture(i, c, heat);
        char name[32];
        std::snprintf(name, sizeof name, "/%04d.png", i);
        if (!write_png(where + name, c)) {
            std::fprintf(stderr, "democd_art: cannot write %s%s\n", where.c_str(), name);
            return 1;
        }
    }
    if (!write_sound(where + "/sound.wav")) {
        std::fprintf(stderr, "democd_art: cannot write %s/sound.wav\n", where.c_str());
        return 1;
    }
    return 0;
}
