// Record layouts that the device's other binaries were built against: the
// OpenMAX IL structures a component checks by their nSize, and the DirectShow
// records and format blocks that cross to decoders and the graph. Natively
// pointers are 8 bytes and none of these sizes hold; here, on a 32-bit ARM
// target with the device's alignment of 64-bit integers, every one must.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>

#include "omx/OMX_Component.h"
#include "win32.h"

TEST(ArmTarget, IsThirtyTwoBitLittleEndianWithAlignedSixtyFourBitIntegers)
{
    EXPECT_EQ(4u, sizeof(void*));
    EXPECT_EQ(4u, sizeof(size_t));
    EXPECT_EQ(4u, sizeof(long));
    // 8, where i386 has 4: the alignment the device's compiler uses.
    EXPECT_EQ(8u, alignof(LONGLONG));
    const DWORD dwProbe = 0x04030201;
    BYTE abProbe[4];
    std::memcpy(abProbe, &dwProbe, sizeof(abProbe));
    EXPECT_EQ(1, abProbe[0]);
}

TEST(ArmLayout, OpenMaxParametersHaveTheSizesTheComponentChecks)
{
    EXPECT_EQ(96u, sizeof(OMX_PARAM_PORTDEFINITIONTYPE));
    EXPECT_EQ(8u, offsetof(OMX_PARAM_PORTDEFINITIONTYPE, nPortIndex));
    EXPECT_EQ(24u, offsetof(OMX_PARAM_PORTDEFINITIONTYPE, nBufferSize));

    EXPECT_EQ(52u, sizeof(OMX_AUDIO_PARAM_AACPROFILETYPE));
    EXPECT_EQ(12u, offsetof(OMX_AUDIO_PARAM_AACPROFILETYPE, nChannels));
    EXPECT_EQ(16u, offsetof(OMX_AUDIO_PARAM_AACPROFILETYPE, nSampleRate));
    EXPECT_EQ(40u, offsetof(OMX_AUDIO_PARAM_AACPROFILETYPE, eAACProfile));
    EXPECT_EQ(44u, offsetof(OMX_AUDIO_PARAM_AACPROFILETYPE, eAACStreamFormat));
}

TEST(ArmLayout, OpenMaxBufferHeaderAsTheComponentAllocatesIt)
{
    // The fields the detection reads and writes come before the time stamp,
    // the one member whose place depends on 64-bit alignment.
    EXPECT_EQ(8u, offsetof(OMX_BUFFERHEADERTYPE, pBuffer));
    EXPECT_EQ(12u, offsetof(OMX_BUFFERHEADERTYPE, nAllocLen));
    EXPECT_EQ(16u, offsetof(OMX_BUFFERHEADERTYPE, nFilledLen));
    EXPECT_EQ(20u, offsetof(OMX_BUFFERHEADERTYPE, nOffset));
    EXPECT_EQ(56u, offsetof(OMX_BUFFERHEADERTYPE, nTimeStamp));
    EXPECT_EQ(80u, sizeof(OMX_BUFFERHEADERTYPE));
    EXPECT_EQ(12u, sizeof(OMX_CALLBACKTYPE));
    // Size, version, two private pointers, then the component's 18 entries.
    EXPECT_EQ(4u * 4 + 18 * 4, sizeof(OMX_COMPONENTTYPE));
}

TEST(ArmLayout, DirectShowRecordsHaveTheirDeviceSizes)
{
    EXPECT_EQ(72u, sizeof(AM_MEDIA_TYPE));
    EXPECT_EQ(60u, offsetof(AM_MEDIA_TYPE, pUnk));
    EXPECT_EQ(64u, offsetof(AM_MEDIA_TYPE, cbFormat));
    EXPECT_EQ(68u, offsetof(AM_MEDIA_TYPE, pbFormat));
    EXPECT_EQ(16u, sizeof(ALLOCATOR_PROPERTIES));
    EXPECT_EQ(264u, sizeof(PIN_INFO));
    EXPECT_EQ(260u, sizeof(FILTER_INFO));
}

TEST(ArmLayout, FormatBlocksHaveTheirDeviceSizes)
{
    EXPECT_EQ(88u, sizeof(VIDEOINFOHEADER));
    EXPECT_EQ(40u, offsetof(VIDEOINFOHEADER, AvgTimePerFrame));
    EXPECT_EQ(48u, offsetof(VIDEOINFOHEADER, bmiHeader));

    EXPECT_EQ(136u, sizeof(MPEG2VIDEOINFO));
    EXPECT_EQ(72u, offsetof(MPEG2VIDEOINFO, hdr.bmiHeader));
    EXPECT_EQ(116u, offsetof(MPEG2VIDEOINFO, cbSequenceHeader));
    EXPECT_EQ(120u, offsetof(MPEG2VIDEOINFO, dwProfile));
    EXPECT_EQ(124u, offsetof(MPEG2VIDEOINFO, dwLevel));
    EXPECT_EQ(132u, offsetof(MPEG2VIDEOINFO, dwSequenceHeader));

    EXPECT_EQ(18u, sizeof(WAVEFORMATEX));
}
