#pragma once
// The one entry point of orvala-cli's PNG module: the only part of the tool
// that needs Qt (fonts and PNG), loaded by `render` alone, so that the other
// subcommands start without loading Qt and the libraries it pulls in.
#include <cstdint>

extern "C" {

struct OrvalaRenderPicture {
    int width = 0, height = 0;
    const uint32_t* pixels = nullptr;  // width x height, row by row, 0xffRRGGBB
    int areaLeft = 0, areaTop = 0, areaWidth = 0, areaHeight = 0;
    double xlo = 0, xhi = 1, ylo = 0, yhi = 1;  // axis values at the area's edges
    const char* xtitle = "";                     // UTF-8
    const char* ytitle = "";
    const char* png = "";  // file to write, UTF-8
};

// Draws the axes with their labels and titles around the area onto the
// pixels and writes the PNG. 0 on success, 1 when the file cannot be
// written, 2 for an unusable picture (with a message in error).
int orvala_render_png(const OrvalaRenderPicture* picture, char* error, int errorSize);
using OrvalaRenderPngFn = int (*)(const OrvalaRenderPicture*, char*, int);
}

// File name of the module, next to the executable.
#ifndef ORVALA_PNG_MODULE
#define ORVALA_PNG_MODULE "orvala-cli-png.so"
#endif
