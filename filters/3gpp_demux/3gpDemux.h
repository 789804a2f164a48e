// The module's public names: what a player, a setup program or a test needs
// to create the filter and to recognise what it registers. Everything else
// is reached through COM interfaces.
//
// The values have internal linkage, so each program that includes this
// header holds its own copy and needs no library to define them.
#ifndef DEMUX_3GPDEMUX_H
#define DEMUX_3GPDEMUX_H

#include "win32.h"

// The filter's class: "Orvane 3GPP Demux Filter".
const CLSID CLSID_DemuxFilter = {0x91C9EB5C, 0x7D7B, 0x4E77, {0xB8, 0x9B, 0x6C, 0x09, 0x93, 0xDD, 0x27, 0x9E}};

// The byte-stream subtypes (major type MEDIATYPE_Stream) of the device's own
// sources, in the order the input pin enumerates and registers them, before
// MEDIASUBTYPE_None. Which source offers which is theirs to say; the input
// pin only compares them.
const unsigned DEMUX_STREAM_SUBTYPE_COUNT = 5;
const GUID MEDIASUBTYPE_DemuxStream[DEMUX_STREAM_SUBTYPE_COUNT] = {
    {0xEC91B78B, 0x4B17, 0x46BF, {0xBA, 0x8F, 0x83, 0x28, 0x28, 0x85, 0xDA, 0x87}},
    {0x14AB389E, 0xF244, 0x4241, {0xBC, 0x65, 0x5D, 0x3B, 0x82, 0x42, 0xA0, 0x0C}},
    {0x05F62D9A, 0x8580, 0x42CC, {0xBC, 0x08, 0x3B, 0xAD, 0x80, 0x1E, 0x7F, 0xA1}},
    {0x7C860DBA, 0xF86F, 0x4C1C, {0x8A, 0xAA, 0xAC, 0x5D, 0x6D, 0x9E, 0xFA, 0x9E}},
    {0x3B914512, 0xFF69, 0x4C87, {0x95, 0x24, 0xCD, 0x0F, 0x5D, 0x85, 0x85, 0xD3}},
};

#endif
