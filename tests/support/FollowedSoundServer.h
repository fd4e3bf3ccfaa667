#pragma once
// A private sound server whose sources the device list follows for as long as this object
// lives. It stops following before the server and the environment the server set go: a kind
// still following would read that environment while the test restores it.

#include <cstdlib>
#include <filesystem>

#include "platform/wavein.h"
#include "tests/support/PulseServer.h"
#include "tests/support/WaveInFixtures.h"

class FollowedSoundServer {
 public:
  FollowedSoundServer(ScopedEnvironment& environment, const std::filesystem::path& folder)
      : server_(environment, folder) {
    environment.Unset("CORVANE_NO_PULSE");
  }
  FollowedSoundServer(const FollowedSoundServer&) = delete;
  FollowedSoundServer& operator=(const FollowedSoundServer&) = delete;
  ~FollowedSoundServer() {
    setenv("CORVANE_NO_PULSE", "1", 1);
    waveInGetNumDevs();
  }

  PulseServer& Server() { return server_; }

 private:
  PulseServer server_;
};
