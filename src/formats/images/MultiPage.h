#pragma once
// Image stacks on disk: directories of 8-bit BMP frames named after their
// wavelength, directories of Kodak BIP files, and the writer that saves the
// frames of a sequence data set as such a BMP directory.
#include <cstdint>
#include <functional>
#include <string>

#include "core/TData.h"

namespace orvala {

// Called after each file with (files done, files in all); returns false to
// cancel the load. The UI shows it as its progress window with "Cancel".
using ImageProgress = std::function<bool(int position, int count)>;

// Sequence from the BMP files of dir whose names are decimal digits (the
// wavelength), sorted by name as text ignoring case. Nil when there are none
// or progress cancelled. Throws OrvalaError when the directory cannot be read,
// a name is too large for a 32-bit integer, or a file cannot be decoded.
TData* LoadMultiPage(const std::string& dir, const ImageProgress& progress = {});

// Sequence from the ".bip" files of dir whose names contain W or w and six
// digits (wavelength = the number div 1000). Nil when there are none or
// progress cancelled. Throws OrvalaError on unreadable directories or files.
TData* KodakLoadMultiPage(const std::string& dir, const ImageProgress& progress = {});

// "Save as Multipage Image": creates the directory FileName (an existing one
// is used) and writes one 8-bit grey BMP per frame, named "<wavelength>.bmp".
// Byte frames are written as they are; float frames are scaled to 0..255 with
// the data set's seqmin and seqnorm. Nothing for a data set without frames.
// Throws OrvalaError when the directory or a file cannot be written.
void SaveMultiImg(const TData& data, const std::string& FileName);

// The complete bytes of an 8-bit BMP with a 256-entry grey palette; pixels
// holds width x height bytes row by row, top row first.
std::vector<uint8_t> GreyBmpBytes(int width, int height, const uint8_t* pixels);

}  // namespace orvala
