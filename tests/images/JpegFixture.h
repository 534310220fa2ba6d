#pragma once
// JPEG files for the tests, encoded with libjpeg from a bitmap.
#ifdef ORVALA_HAVE_LIBJPEG
#include <jpeglib.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "core/TData.h"

namespace orvala::test {

inline std::vector<uint8_t> encodeJpeg(const TBitmap& b, bool grey = false)
{
    jpeg_compress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    unsigned char* mem = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &mem, &size);
    cinfo.image_width = JDIMENSION(b.width);
    cinfo.image_height = JDIMENSION(b.height);
    cinfo.input_components = grey ? 1 : 3;
    cinfo.in_color_space = grey ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 100, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<uint8_t> row(size_t(b.width) * 3);
    while (cinfo.next_scanline < cinfo.image_height) {
        const uint32_t* src = b.pixels.data() + size_t(cinfo.next_scanline) * size_t(b.width);
        for (int x = 0; x < b.width; ++x) {
            if (grey) {
                row[size_t(x)] = uint8_t(src[x]);
            } else {
                row[3 * size_t(x)] = uint8_t(src[x]);
                row[3 * size_t(x) + 1] = uint8_t(src[x] >> 8);
                row[3 * size_t(x) + 2] = uint8_t(src[x] >> 16);
            }
        }
        JSAMPROW p = row.data();
        jpeg_write_scanlines(&cinfo, &p, 1);
    }
    jpeg_finish_compress(&cinfo);
    std::vector<uint8_t> out(mem, mem + size);
    jpeg_destroy_compress(&cinfo);
    std::free(mem);
    return out;
}

}  // namespace orvala::test
#endif
