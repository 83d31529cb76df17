/* The demo cartridge's state, constants and pictures. The cartridge's code
   uses everything here; the host tests include the same file to work out
   what the demo must show: where its state lives, how it moves, and the
   pictures and sprite tiles it draws. Plain C that also compiles as C++. */
#ifndef QUORRANT_DEMO_H
#define QUORRANT_DEMO_H

#include <stdint.h>

/* The state the demo keeps, at a fixed address at the top of work RAM, so
   that a test can read it back with --peek. Every field is a word. */
#define DEMO_STATE_ADDRESS 0x0203FF00u
#define DEMO_MAGIC 0x4F4D4544u /* "DEMO" once start-up is done */

struct demo_state {
    uint32_t magic;
    uint32_t frames;        /* main-loop passes, one per frame */
    uint32_t scene;         /* index into the scene list below */
    uint32_t scene_frames;  /* passes since the scene began, counting the first */
    int32_t x, y;           /* the player sprite's top-left corner */
    uint32_t player_colour; /* 0..3, A steps it */
    uint32_t radius;        /* orbit radius, L shrinks it, R grows it */
    uint32_t angle;         /* orbit angle, 256 to a turn */
    uint32_t sprites_on;    /* Select toggles DISP_CR bit 12 */
    uint32_t flips;         /* mode 4 page flips since the scene began */
    uint32_t back_row;      /* mode 4: rows of the hidden page drawn so far */
    uint32_t keys;          /* the button word of this pass (active low) */
    uint32_t last_keys;     /* ...and of the pass before */
};

/* Scenes, in the order Start steps through them. */
enum {
    SCENE_TITLE,     /* mode 0: sunset and the title in 8-bit tiles */
    SCENE_PLASMA,    /* mode 4: plasma drawn page by page, palette cycling */
    SCENE_MOSAIC,    /* mode 1: 4-bit tiles in fifteen palette banks */
    SCENE_LANDSCAPE, /* mode 2: hills and water from a one-byte map */
    SCENE_GRADIENT,  /* mode 3: direct colours */
    SCENE_COUNT
};

/* DISP_CR of each scene without the sprite bit (0x1000): mode, frame
   select 0, the layer's enable bit. */
static const uint16_t scene_display[SCENE_COUNT] = {0x0100, 0x0404, 0x0101, 0x0402, 0x0403};
#define DISP_SPRITES 0x1000u
#define DISP_FRAME_SELECT 0x0010u

/* Layer control for the tiled scenes: tiles at vram 0, map at 0xE800
   (map base 29). */
#define TILED_MAP_OFFSET 0xE800u
#define TILED_CONTROL 0x1D00u

/* Buttons: bit clear while held. */
enum {
    KEY_A = 1 << 0,
    KEY_B = 1 << 1,
    KEY_SELECT = 1 << 2,
    KEY_START = 1 << 3,
    KEY_RIGHT = 1 << 4,
    KEY_LEFT = 1 << 5,
    KEY_UP = 1 << 6,
    KEY_DOWN = 1 << 7,
    KEY_R = 1 << 8,
    KEY_L = 1 << 9
};
#define BUTTONS 10

/* Movement: 1 pixel a pass, 2 while B is held, kept inside the picture. */
#define PLAYER_START_X 116
#define PLAYER_START_Y 76
#define PLAYER_MAX_X 232
#define PLAYER_MAX_Y 152
#define RADIUS_START 24
#define RADIUS_MIN 8
#define RADIUS_MAX 48
#define ANGLE_STEP 2
#define PLASMA_ROWS_PER_PASS 32

/* Sprites: entry 0 the player, 1-8 the orbiters, 9-18 the button lights,
   the rest parked at (240, 160), wholly outside the picture. Object tiles
   from 320 lie above every bitmap frame in vram (0x15000 on). */
#define ORBITERS 8
#define TILE_LIGHT_DIM 320 /* + 2 x button; the lit tile follows */
#define TILE_PLAYER 340
#define TILE_ORBITER 341
#define LIGHTS_Y 150
#define PARK_X 240
#define PARK_Y 160

/* Object palette values: 2 light box, 3 dim label, 4 lit label, 5-8 the
   player's shades, 9-10 the orbiters. */
static const uint16_t player_colours[4][4] = {
    {0x0010, 0x0018, 0x001F, 0x3DFF}, /* red */
    {0x0200, 0x0300, 0x03E0, 0x3FEF}, /* green */
    {0x4000, 0x6000, 0x7C00, 0x7DEF}, /* blue */
    {0x0210, 0x0318, 0x03FF, 0x3FFF}, /* yellow */
};
static const uint16_t object_colours[11] = {0, 0, 0x0842, 0x318C, 0x03FF, 0,
                                            0, 0, 0,      0x7E10, 0x7FFF};

/* sin(i x 2 pi / 256) x 64, a quarter wave. */
static const int8_t quarter_sine[65] = {
    0,  2,  3,  5,  6,  8,  9,  11, 12, 14, 16, 17, 19, 20, 22, 23, 24, 26, 27, 29, 30, 32,
    33, 34, 36, 37, 38, 39, 41, 42, 43, 44, 45, 46, 47, 48, 49, 50, 51, 52, 53, 54, 55, 56,
    56, 57, 58, 59, 59, 60, 60, 61, 61, 62, 62, 62, 63, 63, 63, 64, 64, 64, 64, 64, 64};

static inline int32_t demo_sine(uint32_t angle) {
    uint32_t a = angle & 255;
    if (a < 64) return quarter_sine[a];
    if (a < 128) return quarter_sine[128 - a];
    if (a < 192) return -quarter_sine[a - 128];
    return -quarter_sine[256 - a];
}

/* The wave the pictures are made of: the sine above, at most 63. */
static inline int32_t demo_wave(uint32_t angle) {
    int32_t v = demo_sine(angle);
    return v > 63 ? 63 : v;
}

/* Mode 4 plasma: palette index of pixel (x, y) of the page drawn for
   `phase`, three waves summed; the palette is one turn of hue, so the sum
   may wrap at 256. */
static inline uint8_t plasma_value(uint32_t x, uint32_t y, uint32_t phase) {
    return (uint8_t)(demo_wave(2 * x + 4 * phase) + demo_wave(3 * y - 3 * phase) +
                     demo_wave(x + y + 2 * phase));
}

/* Entry i of the hue turn; the plasma scene shows entry (v + t) & 255 as
   palette entry v on pass t of the scene. */
static inline uint16_t hue_colour(uint32_t i) {
    uint32_t r = (uint32_t)(16 + demo_wave(i) / 4), g = (uint32_t)(16 + demo_wave(i + 85) / 4),
             b = (uint32_t)(16 + demo_wave(i + 170) / 4);
    return (uint16_t)(r | g << 5 | b << 10);
}

/* 5 x 7 glyphs, one byte a row, bit 4 the leftmost pixel. */
static const char glyph_chars[] = " ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-:<>^!.";
static const uint8_t glyph_rows[][7] = {
    {0, 0, 0, 0, 0, 0, 0},                      /* space */
    {0x0E, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}, /* A */
    {0x1E, 0x11, 0x11, 0x1E, 0x11, 0x11, 0x1E}, /* B */
    {0x0E, 0x11, 0x10, 0x10, 0x10, 0x11, 0x0E}, /* C */
    {0x1E, 0x11, 0x11, 0x11, 0x11, 0x11, 0x1E}, /* D */
    {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x1F}, /* E */
    {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x10}, /* F */
    {0x0E, 0x11, 0x10, 0x17, 0x11, 0x11, 0x0F}, /* G */
    {0x11, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}, /* H */
    {0x0E, 0x04, 0x04, 0x04, 0x04, 0x04, 0x0E}, /* I */
    {0x07, 0x02, 0x02, 0x02, 0x02, 0x12, 0x0C}, /* J */
    {0x11, 0x12, 0x14, 0x18, 0x14, 0x12, 0x11}, /* K */
    {0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x1F}, /* L */
    {0x11, 0x1B, 0x15, 0x15, 0x11, 0x11, 0x11}, /* M */
    {0x11, 0x11, 0x19, 0x15, 0x13, 0x11, 0x11}, /* N */
    {0x0E, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}, /* O */
    {0x1E, 0x11, 0x11, 0x1E, 0x10, 0x10, 0x10}, /* P */
    {0x0E, 0x11, 0x11, 0x11, 0x15, 0x12, 0x0D}, /* Q */
    {0x1E, 0x11, 0x11, 0x1E, 0x14, 0x12, 0x11}, /* R */
    {0x0F, 0x10, 0x10, 0x0E, 0x01, 0x01, 0x1E}, /* S */
    {0x1F, 0x04, 0x04, 0x04, 0x04, 0x04, 0x04}, /* T */
    {0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}, /* U */
    {0x11, 0x11, 0x11, 0x11, 0x11, 0x0A, 0x04}, /* V */
    {0x11, 0x11, 0x11, 0x15, 0x15, 0x15, 0x0A}, /* W */
    {0x11, 0x11, 0x0A, 0x04, 0x0A, 0x11, 0x11}, /* X */
    {0x11, 0x11, 0x0A, 0x04, 0x04, 0x04, 0x04}, /* Y */
    {0x1F, 0x01, 0x02, 0x04, 0x08, 0x10, 0x1F}, /* Z */
    {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}, /* 0 */
    {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}, /* 1 */
    {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}, /* 2 */
    {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E}, /* 3 */
    {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}, /* 4 */
    {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}, /* 5 */
    {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}, /* 6 */
    {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}, /* 7 */
    {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}, /* 8 */
    {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}, /* 9 */
    {0x00, 0x00, 0x00, 0x1F, 0x00, 0x00, 0x00}, /* - */
    {0x00, 0x0C, 0x0C, 0x00, 0x0C, 0x0C, 0x00}, /* : */
    {0x02, 0x04, 0x08, 0x10, 0x08, 0x04, 0x02}, /* < */
    {0x08, 0x04, 0x02, 0x01, 0x02, 0x04, 0x08}, /* > */
    {0x04, 0x0E, 0x15, 0x04, 0x04, 0x04, 0x04}, /* ^ (an up arrow) */
    {0x04, 0x04, 0x04, 0x04, 0x04, 0x00, 0x04}, /* ! */
    {0x00, 0x00, 0x00, 0x00, 0x00, 0x0C, 0x0C}, /* . */
};

static inline uint32_t glyph_index(char c) {
    for (uint32_t i = 0; glyph_chars[i] != 0; i++)
        if (glyph_chars[i] == c) return i;
    return 0;
}

/* Pixel (col, row) of character c in an 8 x 8 cell: the glyph sits at
   columns 1-5 and rows 0-6. */
static inline int glyph_pixel(char c, int col, int row) {
    if (col < 1 || col > 5 || row > 6) return 0;
    return (glyph_rows[glyph_index(c)][row] >> (5 - col)) & 1;
}

/* The label of each button light, in button-bit order: the keyboard key
   that holds the button in Quorrant's window. */
static const char light_labels[BUTTONS] = {'X', 'Z', 'S', 'A', '>', '<', '^', 'V', 'W', 'Q'};

/* The title scene counts the passes (state.frames) in six decimal digits
   at the bottom right, after the word FRAME: map row 19, digits in columns
   23-28, one 8 x 8 text tile each, white ink on dark blue. */
#define COUNTER_ROW 19
#define COUNTER_LABEL_COL 17
#define COUNTER_COL 23
#define COUNTER_DIGITS 6

/* Digit i (0 the leftmost) of the counter showing `frames`. */
static inline char counter_digit(uint32_t frames, int i) {
    uint32_t value = frames % 1000000u;
    for (int k = COUNTER_DIGITS - 1; k > i; k--) value /= 10;
    return (char)('0' + value % 10);
}

/* Object tile pixels (values of the object palette). */
static inline uint8_t object_tile_pixel(uint32_t tile, int col, int row) {
    if (tile >= TILE_LIGHT_DIM && tile < TILE_LIGHT_DIM + 2 * BUTTONS) {
        uint32_t button = (tile - TILE_LIGHT_DIM) / 2;
        int lit = (tile - TILE_LIGHT_DIM) & 1;
        return glyph_pixel(light_labels[button], col, row) ? (lit ? 4 : 3) : 2;
    }
    if (tile == TILE_PLAYER) { /* a shaded ball */
        int dx = 2 * col - 7, dy = 2 * row - 7, d2 = dx * dx + dy * dy;
        return d2 <= 10 ? 8 : d2 <= 26 ? 7 : d2 <= 42 ? 6 : d2 <= 58 ? 5 : 0;
    }
    if (tile == TILE_ORBITER) { /* a diamond */
        int dx = 2 * col - 7, dy = 2 * row - 7;
        int d = (dx < 0 ? -dx : dx) + (dy < 0 ? -dy : dy);
        return d <= 4 ? 10 : d <= 8 ? 9 : 0;
    }
    return 0;
}

/* The console colour of object palette value v under a player colour. */
static inline uint16_t object_colour(uint32_t v, uint32_t player_colour) {
    if (v >= 5 && v <= 8) return player_colours[player_colour & 3][v - 5];
    return v < 11 ? object_colours[v] : 0;
}

/* The three attributes of sprite entry n for a state. */
static inline void sprite_attributes(const struct demo_state* s, int n, uint16_t attr[3]) {
    int32_t x = PARK_X, y = PARK_Y;
    uint32_t tile = TILE_PLAYER;
    if (n == 0) {
        x = s->x;
        y = s->y;
    } else if (n <= ORBITERS) {
        uint32_t a = s->angle + 32u * (uint32_t)(n - 1);
        x = s->x + ((int32_t)(s->radius) * demo_sine(a + 64)) / 64;
        y = s->y + ((int32_t)(s->radius) * demo_sine(a)) / 64;
        tile = TILE_ORBITER;
    } else if (n < ORBITERS + 1 + BUTTONS) {
        int button = n - ORBITERS - 1;
        x = 4 + 12 * button;
        y = LIGHTS_Y;
        tile = TILE_LIGHT_DIM + 2 * (uint32_t)(button) + ((s->keys >> button) & 1 ? 0 : 1);
    }
    attr[0] = (uint16_t)(y & 0xFF);
    attr[1] = (uint16_t)(x & 0xFF);
    attr[2] = (uint16_t)(tile);
}

/* Mode 3: a colour wash with rings round the picture's centre, and the
   scene's name in white. */
static const char gradient_label[] = "MODE 3 DIRECT COLOUR";
#define GRADIENT_LABEL_X 40
#define GRADIENT_LABEL_Y 8

static inline uint16_t gradient_pixel(int x, int y) {
    int dx = x - 120, dy = y - 80;
    int cell_x = x - GRADIENT_LABEL_X, cell_y = y - GRADIENT_LABEL_Y;
    if (cell_x >= 0 && cell_x < 8 * 20 && cell_y >= 0 && cell_y < 8) {
        if (glyph_pixel(gradient_label[cell_x >> 3], cell_x & 7, cell_y)) return 0x7FFF;
    }
    uint32_t r = (uint32_t)(x) >> 3, g = (uint32_t)(y) / 5, b = 31 - ((r + g) >> 1);
    if ((((uint32_t)(dx * dx + dy * dy) >> 8) & 3) == 0) { /* rings: brighter */
        r = (r + 31) >> 1;
        g = (g + 31) >> 1;
    }
    return (uint16_t)(r | g << 5 | b << 10);
}

#endif
