// Reads the pass counter that the demo cartridge's title scene shows, from a
// PNG of the picture (a screenshot of the window, or a saved picture), by
// the demo's own font and layout: prints the number, or fails with status 1
// when the cells hold no digits (another scene, or something drawn over).
//
//   demo_counter PICTURE.png
#include <png.h>

#include <cstdio>
#include <vector>

#include "carts/demo/demo.h"

namespace {

// Text ink of the title scene: palette entry 1, white, as the screen
// keeps it (five bits of each channel in the top of its byte).
constexpr uint8_t INK = 0xF8;

struct Picture {
    png_uint_32 width = 0, height = 0;
    std::vector<uint8_t> rgb;  // 3 bytes a pixel
    bool ink(int x, int y) const {
        const uint8_t* p = &rgb[3 * (size_t(y) * width + x)];
        return p[0] == INK && p[1] == INK && p[2] == INK;
    }
};

bool read_picture(const char* path, Picture& picture) {
    png_image image = {};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path)) return false;
    image.format = PNG_FORMAT_RGB;
    picture.width = image.width;
    picture.height = image.height;
    picture.rgb.resize(PNG_IMAGE_SIZE(image));
    return png_image_finish_read(&image, nullptr, picture.rgb.data(), 0, nullptr) != 0;
}

// The digit whose glyph the 8 x 8 cell at (x, y) shows exactly, or -1.
int read_digit(const Picture& picture, int x, int y) {
    for (char digit = '0'; digit <= '9'; digit++) {
        bool same = true;
        for (int row = 0; row < 8 && same; row++)
            for (int col = 0; col < 8 && same; col++)
                same = picture.ink(x + col, y + row) == (glyph_pixel(digit, col, row) != 0);
        if (same) return digit - '0';
    }
    return -1;
}

}  // namespace

int main(int argc, char** argv) {
    Picture picture;
    if (argc != 2 || !read_picture(argv[1], picture) || picture.width != 240 ||
        picture.height != 160) {
        std::fprintf(stderr, "demo_counter: want one 240 x 160 PNG\n");
        return 2;
    }
    long value = 0;
    for (int i = 0; i < COUNTER_DIGITS; i++) {
        int digit = read_digit(picture, 8 * (COUNTER_COL + i), 8 * COUNTER_ROW);
        if (digit < 0) {
            std::fprintf(stderr, "demo_counter: no digit in cell %d\n", i);
            return 1;
        }
        value = 10 * value + digit;
    }
    std::printf("%ld\n", value);
    return 0;
}
