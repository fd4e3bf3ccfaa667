#pragma once
// Wave input with the calls, records and result codes the capture code is written against.
// Behind them sit the Linux devices of platform/wavein/. Every call may be made from the
// user-interface thread only; device threads never call these functions.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/windows_types.h"

using MMRESULT = std::uint32_t;

constexpr MMRESULT MMSYSERR_NOERROR = 0;
constexpr MMRESULT MMSYSERR_ERROR = 1;
constexpr MMRESULT MMSYSERR_BADDEVICEID = 2;
constexpr MMRESULT MMSYSERR_ALLOCATED = 4;
constexpr MMRESULT MMSYSERR_INVALHANDLE = 5;
constexpr MMRESULT MMSYSERR_NODRIVER = 6;
constexpr MMRESULT MMSYSERR_NOMEM = 7;
constexpr MMRESULT MMSYSERR_INVALFLAG = 10;
constexpr MMRESULT MMSYSERR_INVALPARAM = 11;
constexpr MMRESULT WAVERR_BADFORMAT = 32;
constexpr MMRESULT WAVERR_STILLPLAYING = 33;
constexpr MMRESULT WAVERR_UNPREPARED = 34;

constexpr WORD WAVE_FORMAT_PCM = 1;

// Standard format bits of WAVEINCAPSA::dwFormats: rate 1/2/4 = 11025/22050/44100 Hz,
// M/S = mono/stereo, 08/16 = bits per sample.
constexpr DWORD WAVE_FORMAT_1M08 = 0x1;
constexpr DWORD WAVE_FORMAT_1S08 = 0x2;
constexpr DWORD WAVE_FORMAT_1M16 = 0x4;
constexpr DWORD WAVE_FORMAT_1S16 = 0x8;
constexpr DWORD WAVE_FORMAT_2M08 = 0x10;
constexpr DWORD WAVE_FORMAT_2S08 = 0x20;
constexpr DWORD WAVE_FORMAT_2M16 = 0x40;
constexpr DWORD WAVE_FORMAT_2S16 = 0x80;
constexpr DWORD WAVE_FORMAT_4M08 = 0x100;
constexpr DWORD WAVE_FORMAT_4S08 = 0x200;
constexpr DWORD WAVE_FORMAT_4M16 = 0x400;
constexpr DWORD WAVE_FORMAT_4S16 = 0x800;

constexpr DWORD WHDR_DONE = 0x1;
constexpr DWORD WHDR_PREPARED = 0x2;
constexpr DWORD WHDR_INQUEUE = 0x10;

constexpr DWORD CALLBACK_NULL = 0;

constexpr std::size_t MAXPNAMELEN = 32;

struct WAVEINCAPSA {
  WORD wMid;
  WORD wPid;
  DWORD vDriverVersion;
  char szPname[MAXPNAMELEN];
  DWORD dwFormats;
  WORD wChannels;
  WORD wReserved1;
};
static_assert(sizeof(WAVEINCAPSA) == 48, "the capability record is 48 bytes");

#pragma pack(push, 1)
struct WAVEFORMATEX {
  WORD wFormatTag;
  WORD nChannels;
  DWORD nSamplesPerSec;
  DWORD nAvgBytesPerSec;
  WORD nBlockAlign;
  WORD wBitsPerSample;
  WORD cbSize;
};
#pragma pack(pop)
static_assert(sizeof(WAVEFORMATEX) == 18, "the format record is 18 bytes");

struct WAVEHDR {
  LPSTR lpData;
  DWORD dwBufferLength;
  // Written by the device thread with release ordering once the buffer is full (or by
  // waveInReset with the partial count); read through BytesRecorded().
  DWORD dwBytesRecorded;
  DWORD_PTR dwUser;
  DWORD dwFlags;
  DWORD dwLoops;
  WAVEHDR* lpNext;
  DWORD_PTR reserved;
};

// The header size the capture passes with every header call (the 32-bit layout).
constexpr UINT WaveHeaderSize32 = 32;

struct WaveInHandle;
using HWAVEIN = WaveInHandle*;

// Acquire-load of the recorded count: once it equals dwBufferLength the buffer's samples are
// visible to the caller.
inline DWORD BytesRecorded(WAVEHDR& header) {
  return std::atomic_ref<DWORD>(header.dwBytesRecorded).load(std::memory_order_acquire);
}
inline void SetBytesRecorded(WAVEHDR& header, DWORD count) {
  std::atomic_ref<DWORD>(header.dwBytesRecorded).store(count, std::memory_order_release);
}

// Takes the device list as it stands now (sound-server sources, ALSA devices, the file input,
// the generator, test devices, in this order; at most 11) and returns its length. The kinds
// keep their lists up to date on threads of their own, so this returns at once; only the very
// first call waits for their first listing. Between two calls, device numbers stay put.
UINT waveInGetNumDevs();
// Copies the capability record of device uDeviceID of the list taken by the last
// waveInGetNumDevs, without opening anything. cbwic bytes at most are written.
MMRESULT waveInGetDevCapsA(UINT uDeviceID, WAVEINCAPSA* pwic, UINT cbwic);
// Opens a device for 16-bit PCM at the format's rate. Only CALLBACK_NULL is supported.
// Returns MMSYSERR_BADDEVICEID, MMSYSERR_ALLOCATED (busy) or WAVERR_BADFORMAT on failure.
MMRESULT waveInOpen(HWAVEIN* phwi, UINT uDeviceID, const WAVEFORMATEX* pwfx, DWORD_PTR dwCallback,
                    DWORD_PTR dwInstance, DWORD fdwOpen);
MMRESULT waveInPrepareHeader(HWAVEIN hwi, WAVEHDR* pwh, UINT cbwh);
// Queues a prepared buffer; buffers are filled in the order in which they were queued.
MMRESULT waveInAddBuffer(HWAVEIN hwi, WAVEHDR* pwh, UINT cbwh);
// Starts recording; calling it while recording does nothing.
MMRESULT waveInStart(HWAVEIN hwi);
// Stops recording and returns every queued buffer; the one being filled keeps its partial
// count. When it returns, no device thread touches any buffer.
MMRESULT waveInReset(HWAVEIN hwi);
MMRESULT waveInUnprepareHeader(HWAVEIN hwi, WAVEHDR* pwh, UINT cbwh);
// Releases the device. Fails with WAVERR_STILLPLAYING while buffers are queued and with
// MMSYSERR_INVALHANDLE for a handle already closed.
MMRESULT waveInClose(HWAVEIN hwi);

// What names device uDeviceID of the list taken last for as long as the device exists, the same
// in every later list; empty for a number outside the list.
std::string WaveInDeviceKey(UINT uDeviceID);
// The number of the device with that key in the list taken last, or nullopt when it is gone.
std::optional<UINT> WaveInDeviceIndex(std::string_view key);

// Frames an open device had to drop because no buffer was queued (benchmarks, soak tests).
std::uint64_t WaveInDroppedFrames(HWAVEIN hwi);

// The name in a capability record: up to its NUL, or all 32 bytes where none ends it.
std::string DeviceName(const WAVEINCAPSA& caps);
