// The device list: composed on the user-interface thread from what each kind published last,
// so that listing never waits for a trial open or a sound server.

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>

#include "platform/wavein/alsa_device.h"
#include "platform/wavein/device_list.h"
#include "platform/wavein/device_name.h"
#include "platform/wavein/file_device.h"
#include "platform/wavein/generator_device.h"
#include "platform/wavein/scripted_device.h"
#include "platform/wavein/sound_server_device.h"

namespace {

constexpr std::size_t ListEntries = 11;  // the capability table of the program holds 11
// A kind's first listing is waited for; a server that does not answer in time joins later.
constexpr auto FirstAlsaListing = std::chrono::seconds(10);
constexpr auto FirstServerListing = std::chrono::seconds(3);
constexpr auto RefreshTimeout = std::chrono::seconds(10);

bool EnvironmentFlag(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && std::string_view(value) == "1";
}

std::string EnvironmentText(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? std::string() : std::string(value);
}

// ALSA devices that only lead to the sound server whose sources are listed already.
bool IsServerAgain(const std::string& key) {
  return key == "alsa:default" || key == "alsa:pulse" || key == "alsa:pipewire";
}

// A device shown under another name, because an earlier entry of the list has its own.
class RenamedDevice final : public WaveInDevice {
 public:
  RenamedDevice(std::shared_ptr<WaveInDevice> device, std::string name)
      : device_(std::move(device)), name_(std::move(name)) {}
  [[nodiscard]] WAVEINCAPSA Caps() const override {
    WAVEINCAPSA caps = device_->Caps();
    SetCapsName(caps, name_);
    return caps;
  }
  MMRESULT Open(DWORD sampleRate, WaveBufferQueue& queue,
                std::unique_ptr<WaveInStream>& stream) override {
    return device_->Open(sampleRate, queue, stream);
  }

 private:
  std::shared_ptr<WaveInDevice> device_;
  std::string name_;
};

void MakeDistinct(WaveInDeviceList& list) {
  std::vector<std::string> names;
  names.reserve(list.size());
  for (const ListedDevice& entry : list) names.push_back(DeviceName(entry.device->Caps()));
  std::vector<std::string> distinct = names;
  MakeNamesDistinct(distinct);
  for (std::size_t i = 0; i < list.size(); ++i) {
    if (distinct[i] != names[i]) {
      list[i].device = std::make_shared<RenamedDevice>(list[i].device, distinct[i]);
    }
  }
}

class DeviceLists {
 public:
  WaveInDeviceList Compose() {
    WaveInDeviceList head;
    if (DeviceListPart* server = Follow(server_, !EnvironmentFlag("CORVANE_NO_PULSE"),
                                        StartSoundServerDeviceList, FirstServerListing)) {
      head = server->Devices();
    }
    const bool serverListed = !head.empty();
    if (DeviceListPart* alsa = Follow(alsa_, !EnvironmentFlag("CORVANE_NO_ALSA"),
                                      StartAlsaDeviceList, FirstAlsaListing)) {
      for (ListedDevice& entry : alsa->Devices()) {
        if (!serverListed || !IsServerAgain(entry.key)) head.push_back(std::move(entry));
      }
    }
    WaveInDeviceList tail;
    if (auto file = FileInput()) tail.push_back({"file:" + fileInputPath_, std::move(file)});
    if (!EnvironmentFlag("CORVANE_NO_GENERATOR")) tail.push_back({"generator", Generator()});
    AppendScriptedDevices(tail);

    head.resize(std::min(head.size(), ListEntries - std::min(ListEntries, tail.size())));
    std::move(tail.begin(), tail.end(), std::back_inserter(head));
    MakeDistinct(head);
    return head;
  }

  void RefreshAll() {
    for (const auto& part : {server_.get(), alsa_.get()}) {
      if (part != nullptr) part->Refresh(RefreshTimeout);
    }
  }

 private:
  // Starts a kind when the environment wants it and stops it when it no longer does (tests
  // switch kinds on and off; a stopped kind's thread reads no environment any more).
  static DeviceListPart* Follow(std::unique_ptr<DeviceListPart>& part, bool wanted,
                                std::unique_ptr<DeviceListPart> (*start)(),
                                std::chrono::milliseconds firstListing) {
    if (!wanted) {
      part.reset();
      return nullptr;
    }
    if (!part) {
      part = start();
      part->WaitForFirstListing(firstListing);
    }
    return part.get();
  }

  // Made once per path: the device of a file keeps its identity, and an unreadable file is
  // reported once, not at every listing.
  std::shared_ptr<WaveInDevice> FileInput() {
    const std::string path = EnvironmentText("CORVANE_INPUT_FILE");
    if (path != fileInputPath_) {
      fileInputPath_ = path;
      fileInput_ = path.empty() ? nullptr : MakeFileInputDevice(path);
    }
    return fileInput_;
  }

  std::shared_ptr<WaveInDevice> Generator() {
    std::string description = EnvironmentText("CORVANE_GENERATOR");
    if (!generator_ || description != generatorDescription_) {
      generator_ = MakeGeneratorDevice(description);
      generatorDescription_ = std::move(description);
    }
    return generator_;
  }

  std::unique_ptr<DeviceListPart> server_;
  std::unique_ptr<DeviceListPart> alsa_;
  std::string fileInputPath_;
  std::shared_ptr<WaveInDevice> fileInput_;
  std::string generatorDescription_;
  std::shared_ptr<WaveInDevice> generator_;
};

DeviceLists& Lists() {
  static DeviceLists lists;
  return lists;
}

}  // namespace

void SetCapsName(WAVEINCAPSA& caps, std::string_view name) {
  std::memset(caps.szPname, 0, sizeof(caps.szPname));
  const std::string_view fitted = CutAtCharacter(name, sizeof(caps.szPname) - 1);
  std::memcpy(caps.szPname, fitted.data(), fitted.size());
}

WaveInDeviceList DeviceListPart::Devices() const {
  const std::scoped_lock lock(mutex_);
  return devices_;
}

bool DeviceListPart::WaitForFirstListing(std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  return published_.wait_for(lock, timeout, [this] { return done_ > 0; });
}

bool DeviceListPart::Refresh(std::chrono::milliseconds timeout) {
  std::uint64_t wanted = 0;
  {
    const std::scoped_lock lock(mutex_);
    wanted = ++requested_;
  }
  ListingRequested();
  std::unique_lock lock(mutex_);
  return published_.wait_for(lock, timeout, [this, wanted] { return done_ >= wanted; });
}

std::uint64_t DeviceListPart::ListingRequest() const {
  const std::scoped_lock lock(mutex_);
  return requested_;
}

void DeviceListPart::Publish(WaveInDeviceList devices, std::uint64_t request) {
  {
    const std::scoped_lock lock(mutex_);
    devices_ = std::move(devices);
    done_ = std::max(done_, request);
  }
  published_.notify_all();
}

WaveInDeviceList ComposeDeviceList() { return Lists().Compose(); }

void RefreshDeviceLists() { Lists().RefreshAll(); }
