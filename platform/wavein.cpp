#include "platform/wavein.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/wavein/buffer_queue.h"
#include "platform/wavein/device.h"
#include "platform/wavein/device_list.h"

struct WaveInHandle {
  std::string deviceKey;
  WaveBufferQueue queue;
  // Declared after the queue so that the device thread is joined before the queue goes.
  std::unique_ptr<WaveInStream> stream;
};

namespace {

WaveInDeviceList& DeviceList() {
  static WaveInDeviceList list;
  return list;
}

std::vector<std::unique_ptr<WaveInHandle>>& OpenHandles() {
  static std::vector<std::unique_ptr<WaveInHandle>> handles;
  return handles;
}

WaveInHandle* Find(HWAVEIN handle) {
  auto& handles = OpenHandles();
  const auto found = std::find_if(handles.begin(), handles.end(),
                                  [handle](const auto& open) { return open.get() == handle; });
  return found == handles.end() ? nullptr : found->get();
}

bool HeaderSizeAccepted(UINT size) { return size == WaveHeaderSize32 || size == sizeof(WAVEHDR); }

bool FormatAccepted(const WAVEFORMATEX& format) {
  return format.wFormatTag == WAVE_FORMAT_PCM && format.nChannels == 2 &&
         format.wBitsPerSample == 16 && format.nBlockAlign == WaveFrameBytes &&
         format.nSamplesPerSec > 0 &&
         format.nAvgBytesPerSec == format.nSamplesPerSec * WaveFrameBytes;
}

}  // namespace

std::string DeviceName(const WAVEINCAPSA& caps) {
  const auto* end = static_cast<const char*>(std::memchr(caps.szPname, 0, sizeof(caps.szPname)));
  const std::size_t length =
      end == nullptr ? sizeof(caps.szPname) : static_cast<std::size_t>(end - caps.szPname);
  return {caps.szPname, length};
}

std::uint64_t WaveInDroppedFrames(HWAVEIN hwi) {
  const WaveInHandle* open = Find(hwi);
  return open == nullptr ? 0 : open->queue.DroppedFrames();
}

UINT waveInGetNumDevs() {
  DeviceList() = ComposeDeviceList();
  return static_cast<UINT>(DeviceList().size());
}

std::string WaveInDeviceKey(UINT uDeviceID) {
  const auto& list = DeviceList();
  return uDeviceID < list.size() ? list[uDeviceID].key : std::string();
}

std::optional<UINT> WaveInDeviceIndex(std::string_view key) {
  const auto& list = DeviceList();
  const auto found = std::find_if(list.begin(), list.end(),
                                  [key](const ListedDevice& entry) { return entry.key == key; });
  if (found == list.end()) return std::nullopt;
  return static_cast<UINT>(found - list.begin());
}

MMRESULT waveInGetDevCapsA(UINT uDeviceID, WAVEINCAPSA* pwic, UINT cbwic) {
  if (pwic == nullptr) return MMSYSERR_INVALPARAM;
  const auto& list = DeviceList();
  if (uDeviceID >= list.size()) return MMSYSERR_BADDEVICEID;
  const WAVEINCAPSA caps = list[uDeviceID].device->Caps();
  std::memcpy(pwic, &caps, std::min<std::size_t>(cbwic, sizeof(WAVEINCAPSA)));
  return MMSYSERR_NOERROR;
}

MMRESULT waveInOpen(HWAVEIN* phwi, UINT uDeviceID, const WAVEFORMATEX* pwfx, DWORD_PTR dwCallback,
                    DWORD_PTR /*dwInstance*/, DWORD fdwOpen) {
  if (phwi == nullptr || pwfx == nullptr) return MMSYSERR_INVALPARAM;
  if (dwCallback != 0 || fdwOpen != CALLBACK_NULL) return MMSYSERR_INVALFLAG;
  const auto& list = DeviceList();
  if (uDeviceID >= list.size()) return MMSYSERR_BADDEVICEID;
  if (!FormatAccepted(*pwfx)) return WAVERR_BADFORMAT;
  const ListedDevice& entry = list[uDeviceID];
  const auto& handles = OpenHandles();
  if (std::any_of(handles.begin(), handles.end(),
                  [&entry](const auto& open) { return open->deviceKey == entry.key; })) {
    return MMSYSERR_ALLOCATED;
  }
  auto open = std::make_unique<WaveInHandle>();
  open->deviceKey = entry.key;
  if (const MMRESULT result = entry.device->Open(pwfx->nSamplesPerSec, open->queue, open->stream);
      result != MMSYSERR_NOERROR) {
    return result;
  }
  *phwi = open.get();
  OpenHandles().push_back(std::move(open));
  return MMSYSERR_NOERROR;
}

MMRESULT waveInPrepareHeader(HWAVEIN hwi, WAVEHDR* pwh, UINT cbwh) {
  if (Find(hwi) == nullptr) return MMSYSERR_INVALHANDLE;
  if (pwh == nullptr || pwh->lpData == nullptr || !HeaderSizeAccepted(cbwh)) {
    return MMSYSERR_INVALPARAM;
  }
  pwh->dwFlags |= WHDR_PREPARED;
  return MMSYSERR_NOERROR;
}

MMRESULT waveInAddBuffer(HWAVEIN hwi, WAVEHDR* pwh, UINT cbwh) {
  WaveInHandle* open = Find(hwi);
  if (open == nullptr) return MMSYSERR_INVALHANDLE;
  if (pwh == nullptr || !HeaderSizeAccepted(cbwh)) return MMSYSERR_INVALPARAM;
  if ((pwh->dwFlags & WHDR_PREPARED) == 0) return WAVERR_UNPREPARED;
  if ((pwh->dwFlags & WHDR_INQUEUE) != 0) return WAVERR_STILLPLAYING;
  open->queue.Add(pwh);
  open->stream->BufferQueued(pwh);
  return MMSYSERR_NOERROR;
}

MMRESULT waveInStart(HWAVEIN hwi) {
  WaveInHandle* open = Find(hwi);
  if (open == nullptr) return MMSYSERR_INVALHANDLE;
  if (!open->queue.Recording()) {
    open->queue.SetRecording(true);
    open->stream->RecordingChanged(true);
  }
  return MMSYSERR_NOERROR;
}

MMRESULT waveInReset(HWAVEIN hwi) {
  WaveInHandle* open = Find(hwi);
  if (open == nullptr) return MMSYSERR_INVALHANDLE;
  open->queue.ReturnAll();
  open->stream->RecordingChanged(false);
  return MMSYSERR_NOERROR;
}

MMRESULT waveInUnprepareHeader(HWAVEIN hwi, WAVEHDR* pwh, UINT cbwh) {
  if (Find(hwi) == nullptr) return MMSYSERR_INVALHANDLE;
  if (pwh == nullptr || !HeaderSizeAccepted(cbwh)) return MMSYSERR_INVALPARAM;
  if ((pwh->dwFlags & WHDR_INQUEUE) != 0) return WAVERR_STILLPLAYING;
  pwh->dwFlags &= ~WHDR_PREPARED;
  return MMSYSERR_NOERROR;
}

MMRESULT waveInClose(HWAVEIN hwi) {
  auto& handles = OpenHandles();
  const auto found = std::find_if(handles.begin(), handles.end(),
                                  [hwi](const auto& open) { return open.get() == hwi; });
  if (found == handles.end()) return MMSYSERR_INVALHANDLE;
  if ((*found)->queue.Queued() > 0) return WAVERR_STILLPLAYING;
  handles.erase(found);
  return MMSYSERR_NOERROR;
}
