#pragma once
// Saving a recording (the buffer file of packets) as an FCS-layout ".LMD"
// list-mode file, in the acquisition window's float layout or the HyperCyt
// window's float or 16-bit compatible layout. The buffer file is read in
// blocks; the layout is the recording's own, whatever the windows show now.
#include <cstdint>
#include <string>
#include <vector>

#include "instruments/Acquisition.h"

namespace orvala {

// Parameter counts of the acquisition window's file for a layout: C channels
// named "ch" + n, then P - C parameters named by channelNames.
struct LmdShape {
    int C = 0;
    int P = 0;
};
// Throws OrvalaError when the packets hold fewer channels than the mode shows.
LmdShape AcquisitionLmdShape(const PacketLayout& layout);

// The acquisition window's "Save": every event packet of the recording as 32-bit
// floats in the ADC mode's parameter order; at most maxEvents packets are read
// when that is positive. Returns the number of events written.
int64_t SaveAcquisitionLmd(const std::string& filename, const Recording& rec,
                           const std::vector<std::string>& channelNames);

// The HyperCyt window's "Save": the values from index 32 on, as floats or, when
// compatible, as the HyperCyt program's 16-bit layout with at most eight
// parameters. resolution: seconds per time unit of the compatible file.
// Throws OrvalaError when the packets hold fewer than the six HyperCyt channels.
int64_t SaveHyperCytLmd(const std::string& filename, const Recording& rec, bool compatible, double resolution);

// The HyperCyt parameter name of value 32 + j of a packet layout.
std::string HyperCytParameterName(const TiQSPDecoder& decoder, int j, bool compatible);

}  // namespace orvala
