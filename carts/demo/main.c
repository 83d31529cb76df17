/* Quorrant's demo cartridge: five scenes, one per display mode, stepped by
   Start; a ball moved with the direction keys (faster with B, recoloured
   with A) and eight sprites orbiting it (L and R change the orbit, Select
   hides every sprite); a row of lights that show the buttons held.

   Every picture is made by the program at start-up into work RAM and moved
   into video memory with DMA3 when its scene begins; the mode 4 plasma is
   drawn page by page into the hidden frame while the other is shown, and
   the pages are flipped at v-blank. The program waits for v-blank by
   polling DISP_SR, once per pass of the main loop; the title scene shows
   the count of passes, which tells a test how many frames have run. */
#include "demo.h"

void wait_vblank(void);
void dma3_copy(const void* source, void* dest, uint32_t halfwords);

#define REG16(offset) (*(volatile uint16_t*)(0x04000000u + (offset)))
#define DISP_CR REG16(0x000)
#define BG0_CR REG16(0x008)
#define BG2_CR REG16(0x00C)
#define KEY_INPUT REG16(0x130)

#define VRAM ((uint8_t*)0x06000000u)
#define PRAM ((uint16_t*)0x05000000u)
#define OBJ_PALETTE ((uint16_t*)0x05000200u)
#define OAM ((uint16_t*)0x07000000u)
#define OBJ_TILES ((uint8_t*)0x06010000u)

#define STATE ((volatile struct demo_state*)DEMO_STATE_ADDRESS)

#define WIDTH 240
#define HEIGHT 160

/* gcc may turn plain loops into these calls; there is no C library. */
void* memset(void* dest, int value, uint32_t length) {
    uint8_t* d = (uint8_t*)dest;
    while (length--) *d++ = (uint8_t)value;
    return dest;
}
void* memcpy(void* dest, const void* source, uint32_t length) {
    uint8_t* d = (uint8_t*)dest;
    const uint8_t* s = (const uint8_t*)source;
    while (length--) *d++ = *s++;
    return dest;
}

static uint16_t rgb(uint32_t r, uint32_t g, uint32_t b) { return (uint16_t)(r | g << 5 | b << 10); }

/* --- Pictures made at start-up, in work RAM ------------------------------ */

static uint16_t gradient_frame[WIDTH * HEIGHT];
static uint8_t plasma_first_page[WIDTH * HEIGHT];
static uint16_t hue_cycle[512]; /* twice round, so any 256 in a row are one turn */
static int8_t sine[256];

#define TITLE_TILES 112
static uint8_t title_tiles[TITLE_TILES * 64];
static uint16_t title_map[32 * 20];
static uint16_t title_palette[256];

#define MOSAIC_TILES 48
static uint8_t mosaic_tiles[MOSAIC_TILES * 32];
static uint16_t mosaic_palette[256];

#define LANDSCAPE_TILES 160
static uint8_t landscape_tiles[LANDSCAPE_TILES * 64];
static uint8_t landscape_map[64 * 20];
static uint16_t landscape_palette[256];
static uint16_t water_colours[8];

static uint16_t shadow_oam[512];

/* 8-bit text tiles: glyph pixels `ink`, the rest `paper`. */
static void make_text_tiles(uint8_t* tiles, uint8_t ink, uint8_t paper) {
    for (uint32_t g = 0; glyph_chars[g] != 0; g++)
        for (int row = 0; row < 8; row++)
            for (int col = 0; col < 8; col++)
                tiles[64 * g + 8 * row + col] = glyph_pixel(glyph_chars[g], col, row) ? ink : paper;
}

/* Writes `text` into a 16-bit map row, centred, on tiles from `first` on,
   with one banner tile either side. */
static void map_text16(uint16_t* map, int row, const char* text, uint16_t first, uint16_t banner) {
    int length = 0;
    while (text[length]) length++;
    int col = (30 - length) / 2;
    map[32 * row + col - 1] = banner;
    for (int i = 0; i < length; i++) map[32 * row + col + i] = first + glyph_index(text[i]);
    map[32 * row + col + length] = banner;
}

/* A dithered band: two neighbouring palette entries in a checker. */
static void make_band_tile(uint8_t* tile, uint8_t colour) {
    for (int row = 0; row < 8; row++)
        for (int col = 0; col < 8; col++) tile[8 * row + col] = colour + ((row + col) & 1);
}

static void make_title(void) {
    /* tiles 0-19 sunset bands, 20 banner, 21 big banner, 22-65 text,
       66-97 the big title (4 tiles a letter) */
    for (int r = 0; r < 20; r++) make_band_tile(title_tiles + 64 * r, (uint8_t)(32 + r));
    for (int p = 0; p < 64; p++) {
        title_tiles[64 * 20 + p] = 2;
        title_tiles[64 * 21 + p] = 4;
    }
    make_text_tiles(title_tiles + 64 * 22, 1, 2);
    static const char title[] = "QUORRANT";
    for (int letter = 0; letter < 8; letter++)
        for (int quarter = 0; quarter < 4; quarter++) {
            uint8_t* tile = title_tiles + 64 * (66 + 4 * letter + quarter);
            for (int row = 0; row < 8; row++)
                for (int col = 0; col < 8; col++) {
                    int px = 8 * (quarter & 1) + col, py = 8 * (quarter >> 1) + row;
                    tile[8 * row + col] = glyph_pixel(title[letter], px >> 1, py >> 1) ? 3 : 4;
                }
        }
    for (int row = 0; row < 20; row++)
        for (int col = 0; col < 32; col++) title_map[32 * row + col] = (uint16_t)row;
    for (int col = 6; col < 24; col++) {
        title_map[32 * 3 + col] = 21;
        title_map[32 * 4 + col] = 21;
    }
    for (int letter = 0; letter < 8; letter++)
        for (int quarter = 0; quarter < 4; quarter++)
            title_map[32 * (3 + (quarter >> 1)) + 7 + 2 * letter + (quarter & 1)] =
                (uint16_t)(66 + 4 * letter + quarter);
    map_text16(title_map, 7, "GBA EMULATOR DEMO", 22, 20);
    /* The keyboard keys of Quorrant's window, which is where the demo runs. */
    map_text16(title_map, 10, "ARROWS MOVE  Z FAST", 22, 20);
    map_text16(title_map, 12, "X COLOUR  Q W ORBIT", 22, 20);
    map_text16(title_map, 14, "S SPRITES ON-OFF", 22, 20);
    map_text16(title_map, 16, "A NEXT MODE", 22, 20);
    static const char counter_label[] = "FRAME 000000";
    for (int i = 0; counter_label[i]; i++)
        title_map[32 * COUNTER_ROW + COUNTER_LABEL_COL + i] =
            (uint16_t)(22 + glyph_index(counter_label[i]));

    title_palette[1] = rgb(31, 31, 31);
    title_palette[2] = rgb(2, 2, 10);
    title_palette[3] = rgb(31, 27, 4);
    title_palette[4] = rgb(8, 2, 6);
    for (uint32_t k = 0; k <= 20; k++) /* deep blue at the top to orange */
        title_palette[32 + k] = rgb(k * 31 / 20, k * 18 / 20, 20 - k * 20 / 20);
}

/* 4-bit tiles: byte k of a row holds pixel 2k (low nibble) and 2k + 1. */
static void put_nibble(uint8_t* tile, int col, int row, uint8_t value) {
    uint8_t* byte = tile + 4 * row + (col >> 1);
    *byte = (col & 1) ? (uint8_t)((*byte & 0x0F) | value << 4) : (uint8_t)((*byte & 0xF0) | value);
}

static void make_mosaic(void) {
    /* tile 0 a bevelled gem in nibbles 1-4; 1-44 text in bank 0 */
    for (int row = 0; row < 8; row++)
        for (int col = 0; col < 8; col++) {
            uint8_t v = 2;
            if (row == 0 || col == 0) v = 3;
            if (row == 7 || col == 7) v = 1;
            if ((row == 2 || row == 3) && (col == 2 || col == 3)) v = 4;
            put_nibble(mosaic_tiles, col, row, v);
        }
    for (uint32_t g = 0; glyph_chars[g] != 0; g++)
        for (int row = 0; row < 8; row++)
            for (int col = 0; col < 8; col++)
                put_nibble(mosaic_tiles + 32 * (1 + g), col, row,
                           glyph_pixel(glyph_chars[g], col, row) ? 1 : 2);
    mosaic_palette[1] = rgb(31, 31, 31);
    mosaic_palette[2] = rgb(2, 2, 10);
    for (uint32_t bank = 1; bank < 16; bank++) {
        uint32_t a = bank * 256 / 15;
        uint32_t r = (uint32_t)(16 + sine[a & 255] / 5),
                 g = (uint32_t)(16 + sine[(a + 85) & 255] / 5),
                 b = (uint32_t)(16 + sine[(a + 170) & 255] / 5);
        mosaic_palette[16 * bank + 1] = rgb(r / 2, g / 2, b / 2);
        mosaic_palette[16 * bank + 2] = rgb(r * 3 / 4, g * 3 / 4, b * 3 / 4);
        mosaic_palette[16 * bank + 3] = rgb(r, g, b);
        mosaic_palette[16 * bank + 4] = rgb((r + 31) / 2, (g + 31) / 2, (b + 31) / 2);
    }
}

static int hill_height(int x) {
    return 12 + (sine[(x * 3) & 255] * 8 + sine[(x * 7 + 40) & 255] * 3) / 64;
}

static void make_landscape(void) {
    /* tiles 0-9 sky, 10-99 hills (30 columns x 3 rows), 100 grass,
       101-105 water, 110-153 text */
    for (int r = 0; r < 10; r++) make_band_tile(landscape_tiles + 64 * r, (uint8_t)(32 + r));
    for (int tr = 0; tr < 3; tr++)
        for (int col = 0; col < 30; col++) {
            uint8_t* tile = landscape_tiles + 64 * (10 + 30 * tr + col);
            for (int py = 0; py < 8; py++)
                for (int px = 0; px < 8; px++) {
                    int x = 8 * col + px, y = 8 * tr + py, top = 24 - hill_height(x);
                    uint8_t v = 42 + ((px + py) & 1); /* sky at the horizon */
                    if (y >= top) v = (uint8_t)(60 + ((y - top) < 3 ? 3 : (y - top) * 3 / 24));
                    tile[8 * py + px] = v;
                }
        }
    for (int p = 0; p < 64; p++) {
        int px = p & 7, py = p >> 3;
        landscape_tiles[64 * 100 + p] = (uint8_t)(70 + (((px * 5 + py * 3) % 7) < 2));
    }
    for (int w = 0; w < 5; w++)
        for (int p = 0; p < 64; p++) {
            int px = p & 7, py = p >> 3;
            landscape_tiles[64 * (101 + w) + p] = (uint8_t)(80 + ((py + px / 4 + w * 3) & 7));
        }
    make_text_tiles(landscape_tiles + 64 * 110, 1, 2);
    for (int row = 0; row < 20; row++)
        for (int col = 0; col < 64; col++) {
            uint8_t tile = (uint8_t)row;
            if (row >= 10 && row < 13)
                tile = (uint8_t)(10 + 30 * (row - 10) + (col < 30 ? col : 0));
            if (row >= 13 && row < 15) tile = 100;
            if (row >= 15) tile = (uint8_t)(101 + (row - 15));
            landscape_map[64 * row + col] = tile;
        }
    static const char label[] = "MODE 2 ONE-BYTE MAP";
    for (int i = 0; label[i]; i++)
        landscape_map[64 * 1 + 5 + i] = (uint8_t)(110 + glyph_index(label[i]));
    landscape_map[64 * 1 + 4] = 110;
    landscape_map[64 * 1 + 24] = 110;

    landscape_palette[1] = rgb(31, 31, 31);
    landscape_palette[2] = rgb(2, 2, 10);
    for (uint32_t k = 0; k < 12; k++) landscape_palette[32 + k] = rgb(8 + k, 14 + k, 31);
    landscape_palette[60] = rgb(6, 8, 14);
    landscape_palette[61] = rgb(9, 10, 17);
    landscape_palette[62] = rgb(12, 12, 20);
    landscape_palette[63] = rgb(26, 26, 30); /* snow on the ridge */
    landscape_palette[70] = rgb(6, 20, 4);
    landscape_palette[71] = rgb(10, 26, 6);
    for (uint32_t k = 0; k < 8; k++) {
        uint32_t wave = (uint32_t)(sine[k * 32] + 64) / 16; /* 0-8 */
        water_colours[k] = rgb(2 + wave, 8 + wave, 20 + wave);
    }
}

/* plasma_value for whole rows, from tables: the column and row waves once
   per row and page. */
static uint8_t column_wave[WIDTH];

static void plasma_rows(uint8_t* page, uint32_t phase, int first, int count) {
    for (int x = 0; x < WIDTH; x++) column_wave[x] = (uint8_t)sine[(2 * x + 4 * phase) & 255];
    for (int y = first; y < first + count; y++) {
        uint8_t row_wave = (uint8_t)sine[(3 * y - 3 * phase) & 255];
        uint16_t* out = (uint16_t*)(page + WIDTH * y);
        for (int x = 0; x < WIDTH; x += 2) {
            uint8_t a = (uint8_t)(column_wave[x] + row_wave + sine[(x + y + 2 * phase) & 255]);
            uint8_t b =
                (uint8_t)(column_wave[x + 1] + row_wave + sine[(x + 1 + y + 2 * phase) & 255]);
            out[x >> 1] = (uint16_t)(a | b << 8);
        }
    }
}

static void make_pictures(void) {
    for (uint32_t a = 0; a < 256; a++) sine[a] = (int8_t)demo_wave(a);
    for (int y = 0; y < HEIGHT; y++)
        for (int x = 0; x < WIDTH; x++) gradient_frame[WIDTH * y + x] = gradient_pixel(x, y);
    for (uint32_t i = 0; i < 256; i++) hue_cycle[i] = hue_cycle[256 + i] = hue_colour(i);
    plasma_rows(plasma_first_page, 0, 0, HEIGHT);
    make_title();
    make_mosaic();
    make_landscape();
}

/* --- Sprites ------------------------------------------------------------- */

static void load_object_palette(uint32_t player_colour) {
    for (uint32_t v = 0; v < 11; v++) OBJ_PALETTE[v] = object_colour(v, player_colour);
}

static void make_object_tiles(void) {
    static uint8_t tiles[22 * 64];
    for (uint32_t t = 0; t < 22; t++)
        for (int row = 0; row < 8; row++)
            for (int col = 0; col < 8; col++)
                tiles[64 * t + 8 * row + col] = object_tile_pixel(TILE_LIGHT_DIM + t, col, row);
    dma3_copy(tiles, OBJ_TILES + 64 * TILE_LIGHT_DIM, sizeof tiles / 2);
}

static void update_sprites(const struct demo_state* s) {
    for (int n = 0; n < 128; n++) sprite_attributes(s, n, shadow_oam + 4 * n);
    dma3_copy(shadow_oam, OAM, 512);
}

/* --- Scenes -------------------------------------------------------------- */

static void enter_scene(volatile struct demo_state* s, uint32_t scene) {
    s->scene = scene;
    s->scene_frames = 0;
    s->flips = 0;
    s->back_row = 0;
    switch (scene) {
        case SCENE_TITLE:
            dma3_copy(title_tiles, VRAM, sizeof title_tiles / 2);
            dma3_copy(title_map, VRAM + TILED_MAP_OFFSET, sizeof title_map / 2);
            dma3_copy(title_palette, PRAM, 256);
            BG0_CR = TILED_CONTROL;
            break;
        case SCENE_PLASMA: dma3_copy(plasma_first_page, VRAM, sizeof plasma_first_page / 2); break;
        case SCENE_MOSAIC:
            dma3_copy(mosaic_tiles, VRAM, sizeof mosaic_tiles / 2);
            dma3_copy(mosaic_palette, PRAM, 256);
            BG0_CR = TILED_CONTROL;
            break;
        case SCENE_LANDSCAPE:
            dma3_copy(landscape_tiles, VRAM, sizeof landscape_tiles / 2);
            dma3_copy(landscape_map, VRAM + TILED_MAP_OFFSET, sizeof landscape_map / 2);
            dma3_copy(landscape_palette, PRAM, 256);
            BG2_CR = TILED_CONTROL;
            break;
        case SCENE_GRADIENT: dma3_copy(gradient_frame, VRAM, WIDTH * HEIGHT); break;
    }
}

/* Mode 1: every gem's palette bank runs along the diagonals, one step
   every four passes; the top and bottom rows carry text in bank 0. */
static void mosaic_map(uint32_t scene_frames) {
    static const char top[] = "MODE 1 4-BIT TILES";
    static const char bottom[] = "FIFTEEN PALETTE BANKS";
    uint16_t* map = (uint16_t*)(VRAM + TILED_MAP_OFFSET);
    uint32_t shift = scene_frames / 4;
    for (int row = 0; row < 20; row++) {
        uint32_t bank = (row + shift) % 15;
        for (int col = 0; col < 32; col++) {
            map[32 * row + col] = (uint16_t)((bank + 1) << 12);
            bank = bank == 14 ? 0 : bank + 1;
        }
    }
    for (int i = 0; top[i]; i++) map[32 * 1 + 6 + i] = (uint16_t)(1 + glyph_index(top[i]));
    for (int i = 0; bottom[i]; i++) map[32 * 17 + 4 + i] = (uint16_t)(1 + glyph_index(bottom[i]));
}

/* Work of a pass that must be over before the sprites are drawn at the end
   of this v-blank: the page flip, DISP_CR, palettes, the sprite table. */
static void show(volatile struct demo_state* s) {
    uint16_t display = scene_display[s->scene];
    if (s->scene == SCENE_PLASMA) {
        if (s->back_row == HEIGHT) {
            s->flips++;
            s->back_row = 0;
        }
        if (s->flips & 1) display |= DISP_FRAME_SELECT;
        dma3_copy(hue_cycle + (s->scene_frames & 255), PRAM, 256);
    }
    if (s->scene == SCENE_LANDSCAPE)
        for (uint32_t k = 0; k < 8; k++)
            PRAM[80 + k] = water_colours[(k + s->scene_frames / 4) & 7];
    if (s->scene == SCENE_TITLE) {
        uint16_t* map = (uint16_t*)(VRAM + TILED_MAP_OFFSET);
        for (int i = 0; i < COUNTER_DIGITS; i++)
            map[32 * COUNTER_ROW + COUNTER_COL + i] =
                (uint16_t)(22 + glyph_index(counter_digit(s->frames, i)));
    }
    if (s->sprites_on) display |= DISP_SPRITES;
    DISP_CR = display;
    struct demo_state copy = *(const struct demo_state*)s;
    update_sprites(&copy);
}

/* Work that may run on into the next frame's lines. */
static void draw(volatile struct demo_state* s) {
    if (s->scene == SCENE_PLASMA && s->back_row < HEIGHT) {
        uint8_t* hidden = VRAM + ((s->flips & 1) ? 0 : 0xA000);
        plasma_rows(hidden, s->flips + 1, (int)s->back_row, PLASMA_ROWS_PER_PASS);
        s->back_row += PLASMA_ROWS_PER_PASS;
    }
    if (s->scene == SCENE_MOSAIC) mosaic_map(s->scene_frames);
}

static int32_t clamp(int32_t v, int32_t high) { return v < 0 ? 0 : v > high ? high : v; }

static void react(volatile struct demo_state* s) {
    uint32_t held = ~s->keys & 0x3FF;
    uint32_t pressed = held & s->last_keys;
    if (pressed & KEY_START) enter_scene(s, (s->scene + 1) % SCENE_COUNT);
    if (pressed & KEY_SELECT) s->sprites_on ^= 1;
    if (pressed & KEY_A) {
        s->player_colour = (s->player_colour + 1) & 3;
        load_object_palette(s->player_colour);
    }
    int32_t speed = (held & KEY_B) ? 2 : 1;
    if (held & KEY_RIGHT) s->x = clamp(s->x + speed, PLAYER_MAX_X);
    if (held & KEY_LEFT) s->x = clamp(s->x - speed, PLAYER_MAX_X);
    if (held & KEY_DOWN) s->y = clamp(s->y + speed, PLAYER_MAX_Y);
    if (held & KEY_UP) s->y = clamp(s->y - speed, PLAYER_MAX_Y);
    if ((held & KEY_L) && s->radius > RADIUS_MIN) s->radius--;
    if ((held & KEY_R) && s->radius < RADIUS_MAX) s->radius++;
    s->angle = (s->angle + ANGLE_STEP) & 255;
}

int main(void) {
    volatile struct demo_state* s = STATE;
    make_pictures();
    make_object_tiles();
    s->frames = 0;
    s->x = PLAYER_START_X;
    s->y = PLAYER_START_Y;
    s->player_colour = 0;
    s->radius = RADIUS_START;
    s->angle = 0;
    s->sprites_on = 1;
    s->keys = s->last_keys = 0x3FF;
    load_object_palette(0);
    enter_scene(s, SCENE_TITLE);
    s->magic = DEMO_MAGIC;
    for (;;) {
        wait_vblank();
        s->last_keys = s->keys;
        s->keys = KEY_INPUT & 0x3FF;
        s->frames++;
        react(s);
        s->scene_frames++;
        show(s);
        draw(s);
    }
}
