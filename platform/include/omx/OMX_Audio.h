// OpenMAX IL 1.1 audio domain: coding types, the audio part of a port
// definition and the AAC parameters.
#ifndef OMX_AUDIO_H
#define OMX_AUDIO_H

#include "OMX_Core.h"

typedef enum OMX_AUDIO_CODINGTYPE {
    OMX_AUDIO_CodingUnused = 0,
    OMX_AUDIO_CodingAutoDetect = 1,
    OMX_AUDIO_CodingPCM = 2,
    OMX_AUDIO_CodingADPCM = 3,
    OMX_AUDIO_CodingAMR = 4,
    OMX_AUDIO_CodingGSMFR = 5,
    OMX_AUDIO_CodingGSMEFR = 6,
    OMX_AUDIO_CodingGSMHR = 7,
    OMX_AUDIO_CodingPDCFR = 8,
    OMX_AUDIO_CodingPDCEFR = 9,
    OMX_AUDIO_CodingPDCHR = 10,
    OMX_AUDIO_CodingTDMAFR = 11,
    OMX_AUDIO_CodingTDMAEFR = 12,
    OMX_AUDIO_CodingQCELP8 = 13,
    OMX_AUDIO_CodingQCELP13 = 14,
    OMX_AUDIO_CodingEVRC = 15,
    OMX_AUDIO_CodingSMV = 16,
    OMX_AUDIO_CodingG711 = 17,
    OMX_AUDIO_CodingG723 = 18,
    OMX_AUDIO_CodingG726 = 19,
    OMX_AUDIO_CodingG729 = 20,
    OMX_AUDIO_CodingAAC = 21,
    OMX_AUDIO_CodingMP3 = 22,
    OMX_AUDIO_CodingSBC = 23,
    OMX_AUDIO_CodingVORBIS = 24,
    OMX_AUDIO_CodingWMA = 25,
    OMX_AUDIO_CodingRA = 26,
    OMX_AUDIO_CodingMIDI = 27,
    OMX_AUDIO_CodingKhronosExtensions = 0x6F000000,
    OMX_AUDIO_CodingVendorStartUnused = 0x7F000000,
    OMX_AUDIO_CodingMax = 0x7FFFFFFF
} OMX_AUDIO_CODINGTYPE;

typedef struct OMX_AUDIO_PORTDEFINITIONTYPE {
    OMX_STRING cMIMEType;
    OMX_NATIVE_DEVICETYPE pNativeRender;
    OMX_BOOL bFlagErrorConcealment;
    OMX_AUDIO_CODINGTYPE eEncoding;
} OMX_AUDIO_PORTDEFINITIONTYPE;

typedef enum OMX_AUDIO_CHANNELMODETYPE {
    OMX_AUDIO_ChannelModeStereo = 0,
    OMX_AUDIO_ChannelModeJointStereo = 1,
    OMX_AUDIO_ChannelModeDual = 2,
    OMX_AUDIO_ChannelModeMono = 3,
    OMX_AUDIO_ChannelModeKhronosExtensions = 0x6F000000,
    OMX_AUDIO_ChannelModeVendorStartUnused = 0x7F000000,
    OMX_AUDIO_ChannelModeMax = 0x7FFFFFFF
} OMX_AUDIO_CHANNELMODETYPE;

// MPEG-4 audio object types a component may report.
typedef enum OMX_AUDIO_AACPROFILETYPE {
    OMX_AUDIO_AACObjectNull = 0,
    OMX_AUDIO_AACObjectMain = 1,
    OMX_AUDIO_AACObjectLC = 2,
    OMX_AUDIO_AACObjectSSR = 3,
    OMX_AUDIO_AACObjectLTP = 4,
    OMX_AUDIO_AACObjectHE = 5,
    OMX_AUDIO_AACObjectScalable = 6,
    OMX_AUDIO_AACObjectERLC = 17,
    OMX_AUDIO_AACObjectLD = 23,
    OMX_AUDIO_AACObjectHE_PS = 29,
    OMX_AUDIO_AACObjectKhronosExtensions = 0x6F000000,
    OMX_AUDIO_AACObjectVendorStartUnused = 0x7F000000,
    OMX_AUDIO_AACObjectMax = 0x7FFFFFFF
} OMX_AUDIO_AACPROFILETYPE;

// nAACtools / nAACERtools bits.
#define OMX_AUDIO_AACToolNone 0x00000000
#define OMX_AUDIO_AACToolMS 0x00000001
#define OMX_AUDIO_AACToolIS 0x00000002
#define OMX_AUDIO_AACToolTNS 0x00000004
#define OMX_AUDIO_AACToolPNS 0x00000008
#define OMX_AUDIO_AACToolLTP 0x00000010
#define OMX_AUDIO_AACToolAll 0x7FFFFFFF
#define OMX_AUDIO_AACERNone 0x00000000
#define OMX_AUDIO_AACERVCB11 0x00000001
#define OMX_AUDIO_AACERRVLC 0x00000002
#define OMX_AUDIO_AACERHCR 0x00000004
#define OMX_AUDIO_AACERAll 0x7FFFFFFF

typedef enum OMX_AUDIO_AACSTREAMFORMATTYPE {
    OMX_AUDIO_AACStreamFormatMP2ADTS = 0,
    OMX_AUDIO_AACStreamFormatMP4ADTS = 1,
    OMX_AUDIO_AACStreamFormatMP4LOAS = 2,
    OMX_AUDIO_AACStreamFormatMP4LATM = 3,
    OMX_AUDIO_AACStreamFormatADIF = 4,
    OMX_AUDIO_AACStreamFormatMP4FF = 5,
    OMX_AUDIO_AACStreamFormatRAW = 6,
    OMX_AUDIO_AACStreamFormatKhronosExtensions = 0x6F000000,
    OMX_AUDIO_AACStreamFormatVendorStartUnused = 0x7F000000,
    OMX_AUDIO_AACStreamFormatMax = 0x7FFFFFFF
} OMX_AUDIO_AACSTREAMFORMATTYPE;

// OMX_IndexParamAudioAac.
typedef struct OMX_AUDIO_PARAM_AACPROFILETYPE {
    OMX_U32 nSize;
    OMX_VERSIONTYPE nVersion;
    OMX_U32 nPortIndex;
    OMX_U32 nChannels;
    OMX_U32 nSampleRate;
    OMX_U32 nBitRate;
    OMX_U32 nAudioBandWidth;
    OMX_U32 nFrameLength;
    OMX_U32 nAACtools;
    OMX_U32 nAACERtools;
    OMX_AUDIO_AACPROFILETYPE eAACProfile;
    OMX_AUDIO_AACSTREAMFORMATTYPE eAACStreamFormat;
    OMX_AUDIO_CHANNELMODETYPE eChannelMode;
} OMX_AUDIO_PARAM_AACPROFILETYPE;

// No pointers inside: 52 bytes on every target.
OMX_LAYOUT_CHECK(OMX_CheckAacProfileSize, sizeof(OMX_AUDIO_PARAM_AACPROFILETYPE) == 52);

#endif
