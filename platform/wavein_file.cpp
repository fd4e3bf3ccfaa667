#include <iostream>

#include "platform/wavein_device.h"

std::shared_ptr<WaveInDevice> MakeFileInputDevice(const std::string& path) {
  std::cerr << "corvane: audio file input is not available in this build; ignoring " << path
            << "\n";
  return nullptr;
}
