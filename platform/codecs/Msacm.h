#pragma once
// The audio compression manager: conversion streams from a compressed wave format to PCM,
// in the call shapes of the Windows service. Every driver here is backed by libavcodec
// (IMA ADPCM, Microsoft ADPCM, A-law, mu-law) or converts PCM itself (8 <-> 16 bits).
//
// A stream handle is used by one thread at a time; different handles are independent.

#include <cstddef>
#include <cstdint>

namespace platform {

using MMRESULT = std::uint32_t;
using ACMDWORD = std::uint32_t;

constexpr MMRESULT MMSYSERR_NOERROR = 0;
constexpr MMRESULT MMSYSERR_ERROR = 1;
constexpr MMRESULT MMSYSERR_INVALHANDLE = 5;
constexpr MMRESULT MMSYSERR_NOMEM = 7;
constexpr MMRESULT MMSYSERR_INVALFLAG = 10;
constexpr MMRESULT MMSYSERR_INVALPARAM = 11;
constexpr MMRESULT ACMERR_NOTPOSSIBLE = 512;
constexpr MMRESULT ACMERR_UNPREPARED = 514;

constexpr std::uint16_t WAVE_FORMAT_PCM = 1;
constexpr std::uint16_t WAVE_FORMAT_ADPCM = 2;
constexpr std::uint16_t WAVE_FORMAT_ALAW = 6;
constexpr std::uint16_t WAVE_FORMAT_MULAW = 7;
constexpr std::uint16_t WAVE_FORMAT_IMA_ADPCM = 0x11;

// The 18-byte wave format record; cbSize bytes of format data may follow it.
#pragma pack(push, 2)
struct WAVEFORMATEX {
    std::uint16_t wFormatTag;
    std::uint16_t nChannels;
    std::uint32_t nSamplesPerSec;
    std::uint32_t nAvgBytesPerSec;
    std::uint16_t nBlockAlign;
    std::uint16_t wBitsPerSample;
    std::uint16_t cbSize;
};
#pragma pack(pop)
static_assert(sizeof(WAVEFORMATEX) == 18);

struct AcmDriver;
struct AcmStream;
using HACMDRIVERID = AcmDriver*;
using HACMDRIVER = AcmDriver*;
using HACMSTREAM = AcmStream*;
using HACMOBJ = void*;

// acmMetrics: the largest format record any driver uses (ACMDWORD out).
constexpr unsigned ACM_METRIC_MAX_SIZE_FORMAT = 50;
MMRESULT acmMetrics(HACMOBJ object, unsigned metric, void* value);

// Which fields of the destination the suggestion must keep.
constexpr ACMDWORD ACM_FORMATSUGGESTF_WFORMATTAG = 0x00010000;
constexpr ACMDWORD ACM_FORMATSUGGESTF_NCHANNELS = 0x00020000;
constexpr ACMDWORD ACM_FORMATSUGGESTF_NSAMPLESPERSEC = 0x00040000;
constexpr ACMDWORD ACM_FORMATSUGGESTF_WBITSPERSAMPLE = 0x00080000;
// Fills `destination` (cbDestination bytes, at least 18) with a format that a stream from
// `source` can produce; only PCM destinations are offered. ACMERR_NOTPOSSIBLE when no driver
// reads the source.
MMRESULT acmFormatSuggest(HACMDRIVER driver, const WAVEFORMATEX* source, WAVEFORMATEX* destination,
                          ACMDWORD cbDestination, ACMDWORD flags);

constexpr ACMDWORD ACM_STREAMOPENF_QUERY = 0x00000001;
constexpr ACMDWORD ACM_STREAMOPENF_ASYNC = 0x00000002;
constexpr ACMDWORD ACM_STREAMOPENF_NONREALTIME = 0x00000004;
// Opens a conversion stream from `source` to the PCM format `destination`. Filters,
// callbacks and asynchronous streams are not offered (MMSYSERR_INVALFLAG / INVALPARAM).
MMRESULT acmStreamOpen(HACMSTREAM* stream, HACMDRIVER driver, const WAVEFORMATEX* source,
                       const WAVEFORMATEX* destination, void* filter, std::uintptr_t callback,
                       std::uintptr_t instance, ACMDWORD flags);
MMRESULT acmStreamClose(HACMSTREAM stream, ACMDWORD flags);

constexpr ACMDWORD ACM_STREAMSIZEF_SOURCE = 0x00000000;
constexpr ACMDWORD ACM_STREAMSIZEF_DESTINATION = 0x00000001;
// Bytes of output for `input` source bytes (or, with DESTINATION, source bytes for that much
// output). Only whole source blocks convert; less than one block gives ACMERR_NOTPOSSIBLE.
MMRESULT acmStreamSize(HACMSTREAM stream, ACMDWORD input, ACMDWORD* output, ACMDWORD flags);

constexpr ACMDWORD ACMSTREAMHEADER_STATUSF_DONE = 0x00010000;
constexpr ACMDWORD ACMSTREAMHEADER_STATUSF_PREPARED = 0x00020000;
struct ACMSTREAMHEADER {
    ACMDWORD cbStruct;
    ACMDWORD fdwStatus;
    std::uintptr_t dwUser;
    std::uint8_t* pbSrc;
    ACMDWORD cbSrcLength;
    ACMDWORD cbSrcLengthUsed;
    std::uintptr_t dwSrcUser;
    std::uint8_t* pbDst;
    ACMDWORD cbDstLength;
    ACMDWORD cbDstLengthUsed;
    std::uintptr_t dwDstUser;
    ACMDWORD dwReservedDriver[10];
};

MMRESULT acmStreamPrepareHeader(HACMSTREAM stream, ACMSTREAMHEADER* header, ACMDWORD flags);
MMRESULT acmStreamUnprepareHeader(HACMSTREAM stream, ACMSTREAMHEADER* header, ACMDWORD flags);
// Converts whole source blocks while they fit into the destination; sets the used lengths.
// A block the decoder rejects gives silence of its length, so the stream keeps its timing.
MMRESULT acmStreamConvert(HACMSTREAM stream, ACMSTREAMHEADER* header, ACMDWORD flags);

// The driver serving an open stream.
MMRESULT acmDriverID(HACMOBJ object, HACMDRIVERID* driver, ACMDWORD flags);
struct ACMDRIVERDETAILSA {
    ACMDWORD cbStruct;
    ACMDWORD fccType;
    ACMDWORD fccComp;
    std::uint16_t wMid;
    std::uint16_t wPid;
    ACMDWORD vdwACM;
    ACMDWORD vdwDriver;
    ACMDWORD fdwSupport;
    ACMDWORD cFormatTags;
    ACMDWORD cFilterTags;
    void* hicon;
    char szShortName[32];
    char szLongName[128];
    char szCopyright[80];
    char szLicensing[128];
    char szFeatures[512];
};
MMRESULT acmDriverDetailsA(HACMDRIVERID driver, ACMDRIVERDETAILSA* details, ACMDWORD flags);

}  // namespace platform
