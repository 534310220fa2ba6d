#pragma once
// Picture and image-sequence data sets: every pixel is an event. A picture
// has the three parameters red, green and blue; a sequence has one parameter
// per frame (a stack of grey frames of one scene at different wavelengths),
// from which a pseudo-colour picture is derived.
#include <vector>

#include "core/Messages.h"
#include "core/TData.h"

namespace orvala {

// Largest picture or frame (in pixels) a data set is built from: events are
// 32-bit counts and a picture costs 24 bytes of values per pixel.
constexpr long long MaxImagePixels = 100'000'000;

// QCam_Frame formats.
constexpr uint32_t FrameFormatByte = 2;    // one unsigned byte per pixel
constexpr uint32_t FrameFormatFloat = 13;  // one 32-bit float per pixel

// Colour weight of one frame (TRGBDouble).
using TRGBDouble = TData::RGB;

// Picture data set "picture": events row by row, parameters Ch1..Ch3 = the
// red, green and blue bytes; img, event colours and ImageColor take the
// pixel colours. Throws OrvalaError on an empty or oversized picture.
TData* CreatePictureData(const TBitmap& picture);

// Image-sequence data set "ImageSequence" from frames (their buffers are
// moved into the data set; frames is left empty). One parameter per frame
// named after its wavelength; events = width x height of the first frame.
// Builds seqmin/seqmax/seqnorm, the colour map, the pseudo colours and the
// pseudo image. Throws OrvalaError when there are no frames or they are too large.
TData* CreateSequenceData(std::vector<QCam_Frame>& frames);

// Value of pixel k of a frame by its format (0 outside the buffer).
double FramePixel(const QCam_Frame& frame, size_t k);

// Colour of light of wavelength nm, each component in 0..1, before the
// per-column normalisation of the colour map.
TRGBDouble WavelengthColor(double nm);

// RGBTab: one colour per frame from its wavelength; each column (all r, all
// g, all b) divided by its sum over the frames when that sum is not 0.
void CreateColorMap(TData& data);

// ImageColor from the frame values weighted by RGBTab and stretched to 0..255;
// every event's own colour becomes black. Nothing changes on a flat picture.
void PseudoColors(TData& data);

// img = a picture of the first frame's size showing ImageColor.
void CreatePseudoImage(TData& data);

// Turns the data set's own values into a sequence of w x h float frames, one
// per parameter (frameNumber = wavelength = parameter index), then builds the
// colour map, pseudo colours and pseudo image. Returns false, reports
// "Cannot create image from data! widht*height <> Lehgth of data." to sink
// and leaves the data set unchanged when w x h is not the event count.
bool CreateSeqFromData(TData& data, int w, int h, MessageSink& sink = defaultSink());

}  // namespace orvala
