// The picture as a PNG file: the window's screenshot key and quorrant-run's
// --png both write through here, so the two files of one frame are the
// same bytes.
#pragma once

#include <cstdint>
#include <cstdio>

// R, G and B of a host pixel: red in bits 16-23, green 8-15, blue 0-7.
void pixel_rgb(uint32_t pixel, uint8_t rgb[3]);

// Writes the 240 x 160 picture at `pixels` (rows `pitch` bytes apart) to an
// open file as an 8-bit RGB PNG and closes the file. False when anything
// failed (errno then tells why, where the C library set it).
bool write_picture_png(std::FILE* file, const uint32_t* pixels, uint32_t pitch);

// Saves the picture as quorrant-YYYYMMDD-HHMMSS.png (local time) in the
// current folder and prints one line on standard error naming the file, or
// saying why it could not be written. A file of that name is never
// overwritten: a second picture within the same second is saved as
// quorrant-YYYYMMDD-HHMMSS-2.png, and so on.
void save_screenshot(const uint32_t* pixels, uint32_t pitch);
