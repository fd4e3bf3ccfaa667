#pragma once
// The device list: the parts that the kinds with a listing of their own keep up to date on
// threads of their own, and the whole list composed from them as the environment asks for it.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "platform/wavein/device.h"

// One kind's part of the device list, kept up to date by a thread of that kind (trial opens,
// change notifications): the user-interface thread reads what was published last, at once.
class DeviceListPart {
 public:
  DeviceListPart() = default;
  DeviceListPart(const DeviceListPart&) = delete;
  DeviceListPart& operator=(const DeviceListPart&) = delete;
  virtual ~DeviceListPart() = default;

  // The devices of the last listing. Any thread.
  [[nodiscard]] WaveInDeviceList Devices() const;
  // Waits at most timeout until the first listing is published; false when it is not.
  bool WaitForFirstListing(std::chrono::milliseconds timeout);
  // Asks for a listing that starts after this call and waits at most timeout until it is
  // published; false when it is not.
  bool Refresh(std::chrono::milliseconds timeout);

 protected:
  // The kind's thread: the number that a listing starting now answers, and the listing's
  // result with that number.
  [[nodiscard]] std::uint64_t ListingRequest() const;
  void Publish(WaveInDeviceList devices, std::uint64_t request);
  // A listing was asked for (any thread, without the part's lock): wake the kind's thread.
  virtual void ListingRequested() = 0;

 private:
  mutable std::mutex mutex_;
  std::condition_variable published_;
  WaveInDeviceList devices_;
  std::uint64_t requested_ = 1;  // the first listing is asked for by starting the kind
  std::uint64_t done_ = 0;
};

// The whole list as the environment asks for it, from the parts' last listings: sound-server
// sources, ALSA devices (without those that are the server again), the file input, the
// generator, test devices; at most 11, the file input, the generator and test devices never
// pushed out. Names made distinct. User-interface thread; blocks only for a kind's first
// listing.
WaveInDeviceList ComposeDeviceList();
// Lists every kind afresh and waits for the result (tests, and anyone who must see a change
// of the ALSA configuration at once). User-interface thread.
void RefreshDeviceLists();
