#pragma once
// A PulseAudio-protocol sound server of the tests' own: PulseAudio where it is installed, else
// PipeWire with WirePlumber and pipewire-pulse, each on a private D-Bus session bus and a
// runtime folder of its own, so that a test never reaches the session server of whoever runs it.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/WaveInFixtures.h"

class PulseServer {
 public:
  // PulseAudio where it is installed, else PipeWire.
  enum class Kind { PulseAudio, PipeWire };

  // The sample rate of the tones played and recorded.
  static constexpr int ToneRate = 44100;

  // A stereo sine: each channel's frequency and level (a fraction of full scale). Whole hertz,
  // so that one second of it loops without a seam.
  struct Tone {
    int leftHz = 1000;
    double leftLevel = 0.5;
    int rightHz = 440;
    double rightLevel = 0.25;
  };

  // Empty when a server and the client tools (pactl, pacat, parec) can be run here, else what
  // is missing.
  static std::string MissingReason();

  // Points this process's environment at the server that a PulseServer on folder runs:
  // PULSE_SERVER, PULSE_RUNTIME_PATH, XDG_RUNTIME_DIR, PIPEWIRE_RUNTIME_DIR,
  // DBUS_SESSION_BUS_ADDRESS, a client configuration without autospawn, and PULSE_SINK /
  // PULSE_SOURCE / PULSE_LATENCY_MSEC taken away. Nothing answers there until one is started.
  static void PointAt(ScopedEnvironment& environment, const std::filesystem::path& folder);

  // Starts the server with its runtime, home and configuration folders under folder, points
  // this process's environment at it (PointAt) and waits until it answers. Throws
  // std::runtime_error, naming the log file, when the server does not come up.
  // Everything it starts is in one process group that a watchdog kills when this process ends
  // without running the destructor.
  PulseServer(ScopedEnvironment& environment, const std::filesystem::path& folder);
  PulseServer(const PulseServer&) = delete;
  PulseServer& operator=(const PulseServer&) = delete;
  // Stops the players, then the server processes; nothing it started outlives it.
  ~PulseServer();

  // A null sink called name, described as description, whose monitor "name.monitor" is a
  // source. Waits until that source is listed. Returns the module index. Throws
  // std::invalid_argument for a name that is not [A-Za-z0-9_.-]+ or a description with quotes
  // or backslashes, std::runtime_error when the server refuses.
  std::uint32_t LoadNullSink(const std::string& name, const std::string& description);
  // A source called name (not a monitor) that plays what is written into a FIFO of its own, in
  // stereo 16-bit at ToneRate; silent until PlayTone feeds it. Same waiting and errors.
  std::uint32_t LoadPipeSource(const std::string& name, const std::string& description);
  // True when the server unloaded the module. Does not wait for its sources to go.
  bool UnloadModule(std::uint32_t index);
  // Makes name the default source and waits until the server reports it so.
  bool SetDefaultSource(const std::string& name);

  // Plays tone continuously into target, a sink (through pacat, so that its monitor carries the
  // tone) or a source made by LoadPipeSource (through its FIFO), until StopTone or the end.
  // One tone per target: a second call replaces the first.
  void PlayTone(const std::string& target, const Tone& tone);
  void StopTone(const std::string& target);

  // Records frames stereo frames at ToneRate from source with parec. Shorter when the source
  // delivers less within a few seconds.
  std::vector<std::int16_t> Record(const std::string& source, std::size_t frames);

  // Runs pactl with arguments; its standard output when it succeeds.
  std::optional<std::string> Pactl(const std::vector<std::string>& arguments);
  // The names in `pactl list short sources`, in the server's order; empty when it does not answer.
  std::vector<std::string> SourceNames();

  // Kills the server's processes at once, as a crash would; players and the bus stay until the
  // destructor. Afterwards no server answers at PULSE_SERVER.
  void Kill();

  [[nodiscard]] Kind ServerKind() const { return kind_; }

 private:
  struct State;

  std::uint32_t LoadModule(const std::vector<std::string>& arguments, const std::string& source);

  std::filesystem::path folder_;
  Kind kind_;
  std::unique_ptr<State> state_;
};
