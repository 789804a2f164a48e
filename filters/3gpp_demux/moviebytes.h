// Big-endian field readers and the four-character codes the parser compares.
// File data is decoded field by field in place; nothing is byte-swapped in
// bulk. A code is the big-endian 32-bit value of its four characters.
#ifndef DEMUX_MOVIEBYTES_H
#define DEMUX_MOVIEBYTES_H

#include "win32.h"

inline WORD ReadU16BE(const BYTE* p)
{
    return static_cast<WORD>((static_cast<DWORD>(p[0]) << 8) | p[1]);
}

inline DWORD ReadU32BE(const BYTE* p)
{
    return (static_cast<DWORD>(p[0]) << 24) | (static_cast<DWORD>(p[1]) << 16) |
           (static_cast<DWORD>(p[2]) << 8) | static_cast<DWORD>(p[3]);
}

inline ULONGLONG ReadU64BE(const BYTE* p)
{
    return (static_cast<ULONGLONG>(ReadU32BE(p)) << 32) | ReadU32BE(p + 4);
}

inline void WriteU32BE(BYTE* p, DWORD dwValue)
{
    p[0] = static_cast<BYTE>(dwValue >> 24);
    p[1] = static_cast<BYTE>(dwValue >> 16);
    p[2] = static_cast<BYTE>(dwValue >> 8);
    p[3] = static_cast<BYTE>(dwValue);
}

#define MOVIE_FOURCC(a, b, c, d)                                                                   \
    ((static_cast<DWORD>(static_cast<BYTE>(a)) << 24) | (static_cast<DWORD>(static_cast<BYTE>(b)) << 16) | \
     (static_cast<DWORD>(static_cast<BYTE>(c)) << 8) | static_cast<DWORD>(static_cast<BYTE>(d)))

// Box types of the file structure and the sample tables.
const DWORD BOX_FTYP = 0x66747970;  // "ftyp"
const DWORD BOX_MOOV = 0x6D6F6F76;  // "moov"
const DWORD BOX_MDAT = 0x6D646174;  // "mdat"
const DWORD BOX_MVHD = 0x6D766864;  // "mvhd"
const DWORD BOX_TRAK = 0x7472616B;  // "trak"
const DWORD BOX_TKHD = 0x746B6864;  // "tkhd"
const DWORD BOX_EDTS = 0x65647473;  // "edts"
const DWORD BOX_ELST = 0x656C7374;  // "elst"
const DWORD BOX_MDIA = 0x6D646961;  // "mdia"
const DWORD BOX_MDHD = 0x6D646864;  // "mdhd"
const DWORD BOX_MINF = 0x6D696E66;  // "minf"
const DWORD BOX_VMHD = 0x766D6864;  // "vmhd"
const DWORD BOX_SMHD = 0x736D6864;  // "smhd"
const DWORD BOX_STBL = 0x7374626C;  // "stbl"
const DWORD BOX_STSD = 0x73747364;  // "stsd"
const DWORD BOX_STSZ = 0x7374737A;  // "stsz"
const DWORD BOX_STSC = 0x73747363;  // "stsc"
const DWORD BOX_STCO = 0x7374636F;  // "stco"
const DWORD BOX_CO64 = 0x636F3634;  // "co64"
const DWORD BOX_STTS = 0x73747473;  // "stts"
const DWORD BOX_CTTS = 0x63747473;  // "ctts"
const DWORD BOX_STSS = 0x73747373;  // "stss"
const DWORD BOX_UDTA = 0x75647461;  // "udta"
const DWORD BOX_META = 0x6D657461;  // "meta"
const DWORD BOX_UUID = 0x75756964;  // "uuid"

// Movie fragments.
const DWORD BOX_MVEX = 0x6D766578;  // "mvex"
const DWORD BOX_MEHD = 0x6D656864;  // "mehd"
const DWORD BOX_TREX = 0x74726578;  // "trex"
const DWORD BOX_MOOF = 0x6D6F6F66;  // "moof"
const DWORD BOX_MFHD = 0x6D666864;  // "mfhd"
const DWORD BOX_TRAF = 0x74726166;  // "traf"
const DWORD BOX_TFHD = 0x74666864;  // "tfhd"
const DWORD BOX_TFDT = 0x74666474;  // "tfdt"
const DWORD BOX_TRUN = 0x7472756E;  // "trun"

#endif
