#pragma once
// A private sound server whose sources the device list follows for as long as this object
// lives. It stops following before the server and the environment the server set go: a kind
// still following would read that environment while the test restores it.

#include <cstdlib>
#include <filesystem>
#include <optional>

#include "platform/wavein.h"
#include "tests/support/PulseServer.h"
#include "tests/support/WaveInFixtures.h"

class FollowedSoundServer {
 public:
  // Now: the server answers from the first listing on. Later: the list looks for a server that
  // does not answer until Start.
  enum class Answering { Now, Later };

  FollowedSoundServer(ScopedEnvironment& environment, const std::filesystem::path& folder,
                      Answering answering = Answering::Now)
      : environment_(environment), folder_(folder) {
    if (answering == Answering::Now) {
      Start();
    } else {
      PulseServer::PointAt(environment, folder);
    }
    environment.Unset("CORVANE_NO_PULSE");
  }
  FollowedSoundServer(const FollowedSoundServer&) = delete;
  FollowedSoundServer& operator=(const FollowedSoundServer&) = delete;
  ~FollowedSoundServer() {
    setenv("CORVANE_NO_PULSE", "1", 1);
    waveInGetNumDevs();
  }

  PulseServer& Start() { return server_.emplace(environment_, folder_); }
  // Once started.
  PulseServer& Server() { return *server_; }

 private:
  ScopedEnvironment& environment_;
  std::filesystem::path folder_;
  std::optional<PulseServer> server_;
};
