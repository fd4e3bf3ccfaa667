#include "tests/support/PulseServer.h"

#include "tests/support/ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QStandardPaths>
#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string_view>
#include <system_error>
#include <utility>

namespace {

using namespace std::chrono_literals;

constexpr auto StartTimeout = 20s;
constexpr auto CommandTimeout = 10s;
// Beyond the length of a recording, for the server to start the stream.
constexpr auto RecordSlack = 5s;
constexpr int BytesPerFrame = 4;
constexpr double FullScale = 32767.0;
// A second queued in the server, so that the player never runs dry on a busy machine; a stopped
// tone still goes quiet at once, the server dropping the queue with the stream. Recordings ask
// for little, so that PulseAudio's null sink renders in short blocks while one runs.
constexpr const char* PlayLatency = "--latency-msec=1000";
constexpr const char* RecordLatency = "--latency-msec=20";

// Shell script parts that loop the file $0 to standard output until TERM (which ends the cat
// it runs too) or until nobody reads any more.
constexpr std::string_view TrapScript = "trap 'kill $c 2>/dev/null; exit 0' TERM; ";
constexpr std::string_view LoopScript = "while :; do cat \"$0\" & c=$!; wait $c || exit 0; done";

// Kills its own process group, the one everything of a server is started in, once its standard
// input ends: when the destructor closes the other end, or when this process dies.
constexpr const char* WatchdogScript = "read -r _; kill -9 0";

// Reads from fd until end of file, limit bytes or the deadline.
std::string ReadFrom(int fd, std::size_t limit, std::chrono::steady_clock::time_point deadline) {
  std::string data;
  std::array<char, 65536> chunk{};
  while (data.size() < limit) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd ready{fd, POLLIN, 0};
    const int polled = poll(&ready, 1, static_cast<int>(left.count()));
    if (polled < 0 && errno == EINTR) continue;
    if (polled <= 0) break;
    const ssize_t count = read(fd, chunk.data(), std::min(chunk.size(), limit - data.size()));
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) break;
    data.append(chunk.data(), static_cast<std::size_t>(count));
  }
  return data;
}

// True when something listens on the Unix socket at path.
bool Listening(const std::filesystem::path& path) {
  const UniqueFd socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string text = path.string();
  if (socket.Get() < 0 || text.size() >= sizeof(address.sun_path)) return false;
  std::copy(text.begin(), text.end(), std::begin(address.sun_path));
  return connect(socket.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0;
}

// A D-Bus address value: bytes outside the always-allowed set as %XX.
std::string DbusEscape(const std::string& text) {
  static constexpr std::string_view Plain = "-_/.\\*";
  std::string escaped;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (std::isalnum(byte) != 0 || Plain.find(c) != std::string_view::npos) {
      escaped += c;
    } else {
      static constexpr std::string_view Hex = "0123456789abcdef";
      escaped += '%';
      escaped += Hex[byte >> 4U];
      escaped += Hex[byte & 0xFU];
    }
  }
  return escaped;
}

bool Installed(const char* program) { return !QStandardPaths::findExecutable(program).isEmpty(); }

void CheckName(const std::string& name) {
  const bool plain = !name.empty() && std::all_of(name.begin(), name.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_' || c == '.' || c == '-';
  });
  if (!plain) throw std::invalid_argument("not a plain device name: " + name);
}

// The description as a property list inside a module argument: the module argument in single
// quotes, the property value in double quotes, so that blanks and any UTF-8 text survive.
std::string DescriptionArgument(const std::string& key, const std::string& description) {
  if (description.find_first_of("'\"\\") != std::string::npos) {
    throw std::invalid_argument("quotes and backslashes do not survive module arguments: " +
                                description);
  }
  return key + "='device.description=\"" + description + "\"'";
}

void WriteText(const std::filesystem::path& path, const std::string& text) {
  std::ofstream out(path);
  out << text;
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

// A tone played into a sink (the feeder's loop through pacat) or into a pipe source's FIFO
// (the feeder alone).
struct Player {
  std::optional<Child> feeder;
  std::optional<Child> pacat;
};

}  // namespace

struct PulseServer::State {
  explicit State(std::filesystem::path logFolder) : folder(std::move(logFolder)) {
    Pipe pipe = MakePipe();
    watchdog = std::make_unique<Child>(std::vector<std::string>{"sh", "-c", WatchdogScript},
                                       Environment(), Streams().From(pipe.read.Get()), 0);
    watchdogInput = std::move(pipe.write);
  }
  State(const State&) = delete;
  State& operator=(const State&) = delete;
  ~State() {
    players.clear();
    while (!servers.empty()) servers.pop_back();
    bus.reset();
    watchdogInput.Reset();
    watchdog.reset();
  }

  [[nodiscard]] pid_t Group() const { return watchdog->Pid(); }

  // This process's environment with the servers' own variables on top.
  [[nodiscard]] std::vector<std::string> Environment() const {
    std::vector<std::string> variables = CurrentEnvironment();
    std::erase_if(variables, [this](const std::string& entry) {
      return overrides.contains(entry.substr(0, entry.find('=')));
    });
    for (const auto& [name, value] : overrides) {
      if (value) variables.push_back(name + "=" + *value);
    }
    return variables;
  }

  [[nodiscard]] std::filesystem::path Log(const std::string& program) const {
    return folder / (program + ".log");
  }

  [[nodiscard]] std::unique_ptr<Child> Spawn(std::vector<std::string> arguments,
                                             Streams streams) const {
    if (streams.errorFile.empty()) streams.errorFile = Log(arguments.front());
    return std::make_unique<Child>(std::move(arguments), Environment(), streams, Group());
  }

  void StartServer(std::vector<std::string> arguments) {
    const auto log = Log(arguments.front());
    servers.push_back(Spawn(std::move(arguments), Streams().ToFile(log).Errors(log)));
  }

  // Waits for condition while the server's processes run; throws, pointing at the logs, when
  // one of them ends or the time is up.
  void WaitFor(const std::function<bool()>& condition, const std::string& what) {
    std::string ended;
    const bool reached = WaitUntil(
        [&] {
          for (const auto& child : servers) {
            if (!child->Running()) ended = child->Name();
          }
          if (!bus->Running()) ended = bus->Name();
          return !ended.empty() || condition();
        },
        StartTimeout);
    if (!ended.empty()) {
      throw std::runtime_error(ended + " ended while waiting for " + what + "; see " +
                               Log(ended).string());
    }
    if (!reached) {
      throw std::runtime_error("no " + what + " in time; logs in " + folder.string());
    }
  }

  // Runs arguments to the end; its standard output when it ends well.
  [[nodiscard]] std::optional<std::string> Run(std::vector<std::string> arguments) const {
    Pipe pipe = MakePipe();
    const auto child = Spawn(std::move(arguments), Streams().To(pipe.write.Get()));
    pipe.write.Reset();
    const auto deadline = std::chrono::steady_clock::now() + CommandTimeout;
    std::string output = ReadFrom(pipe.read.Get(), std::string::npos, deadline);
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (child->Wait(std::max(left, 0ms)) != 0) return std::nullopt;
    return output;
  }

  // A session bus of the server's own: WirePlumber needs one, and without one libdbus may start
  // a bus through the user's display.
  void StartBus(const std::filesystem::path& socket) {
    const auto config = folder / "bus.conf";
    WriteText(config,
              "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
              " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
              "<busconfig>\n  <type>session</type>\n  <listen>unix:path=" +
                  DbusEscape(socket.string()) +
                  "</listen>\n  <auth>EXTERNAL</auth>\n  <policy context=\"default\">\n"
                  "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
                  "    <allow eavesdrop=\"true\"/>\n    <allow own=\"*\"/>\n  </policy>\n"
                  "</busconfig>\n");
    // No service directories: nothing is started on demand outside this group.
    bus = Spawn({"dbus-daemon", "--nofork", "--config-file=" + config.string()}, Streams());
    WaitFor([&] { return Listening(socket); }, "D-Bus session bus");
  }

  // Root needs no --system: as anyone else, the server then keeps to the folders it is given.
  void StartPulseAudio(const std::filesystem::path& socket) {
    const auto script = folder / "server.pa";
    WriteText(script, "load-module module-native-protocol-unix auth-anonymous=1 socket=\"" +
                          socket.string() + "\"\nload-module module-always-sink\n");
    StartServer({"pulseaudio", "--daemonize=no", "--use-pid-file=no", "--exit-idle-time=-1",
                 "--log-target=stderr", "-n", "--file=" + script.string()});
  }

  // The sound cards, cameras and Bluetooth stay with the desktop's own server.
  void StartPipeWire(const std::filesystem::path& config, const std::filesystem::path& run) {
    const auto wireplumber = config / "wireplumber";
    std::filesystem::create_directories(wireplumber / "main.lua.d");
    std::filesystem::create_directories(wireplumber / "bluetooth.lua.d");
    WriteText(wireplumber / "main.lua.d" / "51-no-hardware.lua",
              "alsa_monitor.enabled = false\nv4l2_monitor.enabled = false\n"
              "libcamera_monitor.enabled = false\n");
    WriteText(wireplumber / "bluetooth.lua.d" / "51-no-hardware.lua",
              "bluez_monitor.enabled = false\n");
    StartServer({"pipewire"});
    // pipewire-pulse started before PipeWire listens comes up without its default sink.
    WaitFor([&] { return Listening(run / "pipewire-0"); }, "PipeWire");
    StartServer({"wireplumber"});
    StartServer({"pipewire-pulse"});
  }

  std::filesystem::path folder;
  std::unique_ptr<Child> watchdog;
  UniqueFd watchdogInput;
  std::map<std::string, std::optional<std::string>> overrides;
  std::unique_ptr<Child> bus;
  // In the order they started; stopped last first.
  std::vector<std::unique_ptr<Child>> servers;
  std::map<std::string, std::filesystem::path> fifos;
  std::map<std::string, Player> players;
};

std::string PulseServer::MissingReason() {
  std::vector<const char*> programs{"sh", "cat", "dbus-daemon", "pactl", "pacat", "parec"};
  if (!Installed("pulseaudio")) {
    programs.insert(programs.end(), {"pipewire", "wireplumber", "pipewire-pulse"});
  }
  std::string missing;
  for (const char* program : programs) {
    if (!Installed(program)) missing += std::string(missing.empty() ? "" : ", ") + program;
  }
  if (missing.empty()) return {};
  return "no sound server of the tests' own: " + missing +
         " missing (scripts/setup.sh --test installs PipeWire where no server is installed)";
}

void PulseServer::PointAt(ScopedEnvironment& environment, const std::filesystem::path& folder) {
  const auto run = folder / "run";
  const auto socket = run / "pulse" / "native";
  if (socket.string().size() >= sizeof(sockaddr_un::sun_path)) {
    throw std::runtime_error("too long for a socket path: " + socket.string());
  }
  std::filesystem::create_directories(run / "pulse");
  // The servers refuse a runtime folder that others may enter.
  std::filesystem::permissions(run, std::filesystem::perms::owner_all);
  std::filesystem::permissions(run / "pulse", std::filesystem::perms::owner_all);
  WriteText(folder / "client.conf", "autospawn = no\n");
  const std::string bus = "unix:path=" + DbusEscape((run / "bus").string());

  environment.Set("XDG_RUNTIME_DIR", run.string());
  environment.Set("PIPEWIRE_RUNTIME_DIR", run.string());
  environment.Unset("PIPEWIRE_REMOTE");
  environment.Set("PULSE_RUNTIME_PATH", (run / "pulse").string());
  environment.Set("PULSE_SERVER", "unix:" + socket.string());
  // libpulse would otherwise make a cookie in the real home folder.
  environment.Set("PULSE_COOKIE", (folder / "cookie").string());
  environment.Set("PULSE_CLIENTCONFIG", (folder / "client.conf").string());
  // libpulse watches the session bus for a server that comes and goes.
  environment.Set("DBUS_SESSION_BUS_ADDRESS", bus);
  for (const char* name : {"PULSE_SINK", "PULSE_SOURCE", "PULSE_LATENCY_MSEC", "PULSE_PROP"}) {
    environment.Unset(name);
  }
}

PulseServer::PulseServer(ScopedEnvironment& environment, const std::filesystem::path& folder)
    : folder_(folder), kind_(Installed("pulseaudio") ? Kind::PulseAudio : Kind::PipeWire) {
  PointAt(environment, folder);
  const auto run = folder / "run";
  const auto home = folder / "home";
  const auto socket = run / "pulse" / "native";
  const std::string bus = "unix:path=" + DbusEscape((run / "bus").string());
  std::filesystem::create_directories(home / ".config");

  state_ = std::make_unique<State>(folder);
  state_->overrides = {
      {"HOME", home.string()},
      {"XDG_CONFIG_HOME", (home / ".config").string()},
      {"XDG_STATE_HOME", (home / ".local" / "state").string()},
      {"XDG_DATA_HOME", (home / ".local" / "share").string()},
      {"XDG_CACHE_HOME", (home / ".cache").string()},
      {"DBUS_SYSTEM_BUS_ADDRESS", bus},
      // Through a display libdbus would start a bus of its own, outside this group.
      {"DISPLAY", std::nullopt},
      {"WAYLAND_DISPLAY", std::nullopt},
      {"WIREPLUMBER_CONFIG_DIR", std::nullopt},
      {"PIPEWIRE_CONFIG_DIR", std::nullopt},
  };
  state_->StartBus(run / "bus");
  if (kind_ == Kind::PulseAudio) {
    state_->StartPulseAudio(socket);
  } else {
    state_->StartPipeWire(home / ".config", run);
  }
  // PipeWire has a default source once WirePlumber has come up too.
  state_->WaitFor(
      [this] {
        const auto source = Pactl({"get-default-source"});
        return source && !source->empty() && !source->starts_with('@');
      },
      kind_ == Kind::PulseAudio ? "PulseAudio answering" : "PipeWire answering");
}

PulseServer::~PulseServer() = default;

std::uint32_t PulseServer::LoadModule(const std::vector<std::string>& arguments,
                                      const std::string& source) {
  std::vector<std::string> command{"load-module"};
  command.insert(command.end(), arguments.begin(), arguments.end());
  const auto output = Pactl(command);
  if (!output) {
    throw std::runtime_error("the server refused " + arguments.front() + "; see " +
                             state_->Log("pactl").string());
  }
  const auto index = static_cast<std::uint32_t>(std::stoul(*output));
  state_->WaitFor(
      [&] {
        const auto names = SourceNames();
        return std::find(names.begin(), names.end(), source) != names.end();
      },
      "source " + source);
  return index;
}

std::uint32_t PulseServer::LoadNullSink(const std::string& name, const std::string& description) {
  CheckName(name);
  return LoadModule({"module-null-sink", "sink_name=" + name,
                     DescriptionArgument("sink_properties", description)},
                    name + ".monitor");
}

std::uint32_t PulseServer::LoadPipeSource(const std::string& name, const std::string& description) {
  CheckName(name);
  const auto fifo = folder_ / (name + ".fifo");
  const std::uint32_t index =
      LoadModule({"module-pipe-source", "source_name=" + name, "file=\"" + fifo.string() + "\"",
                  "format=s16le", "rate=" + std::to_string(ToneRate), "channels=2",
                  DescriptionArgument("source_properties", description)},
                 name);
  state_->fifos[name] = fifo;
  return index;
}

bool PulseServer::UnloadModule(std::uint32_t index) {
  return Pactl({"unload-module", std::to_string(index)}).has_value();
}

bool PulseServer::SetDefaultSource(const std::string& name) {
  return Pactl({"set-default-source", name}) &&
         WaitUntil([&] { return Pactl({"get-default-source"}) == name + "\n"; }, StartTimeout);
}

void PulseServer::PlayTone(const std::string& target, const Tone& tone) {
  CheckName(target);
  for (const auto& [hz, level] :
       {std::pair{tone.leftHz, tone.leftLevel}, std::pair{tone.rightHz, tone.rightLevel}}) {
    if (hz <= 0 || hz >= ToneRate / 2 || level < 0.0 || level > 1.0) {
      throw std::invalid_argument("no such tone: " + std::to_string(hz) + " Hz at " +
                                  std::to_string(level));
    }
  }
  StopTone(target);
  const auto file = folder_ / ("tone-" + target + ".raw");
  WriteRaw(file, SineFrames(ToneRate, ToneRate, tone.leftHz, tone.leftLevel, tone.rightHz,
                            tone.rightLevel));
  Player& player = state_->players[target];
  std::string heardIn = target;
  if (const auto fifo = state_->fifos.find(target); fifo != state_->fifos.end()) {
    // The shell opens the FIFO after setting its trap: the open waits for the server's end.
    const std::string script = std::string(TrapScript) + "exec >\"$1\"; " + std::string(LoopScript);
    player.feeder.emplace(
        std::vector<std::string>{"sh", "-c", script, file.string(), fifo->second.string()},
        state_->Environment(), Streams().Errors(state_->Log("feeder")), state_->Group());
  } else {
    Pipe pipe = MakePipe();
    player.feeder.emplace(
        std::vector<std::string>{"sh", "-c", std::string(TrapScript) + std::string(LoopScript),
                                 file.string()},
        state_->Environment(), Streams().To(pipe.write.Get()).Errors(state_->Log("feeder")),
        state_->Group());
    player.pacat.emplace(
        std::vector<std::string>{"pacat", "--raw", "--format=s16le",
                                 "--rate=" + std::to_string(ToneRate), "--channels=2", PlayLatency,
                                 "--device=" + target},
        state_->Environment(), Streams().From(pipe.read.Get()).Errors(state_->Log("pacat")),
        state_->Group());
    heardIn = target + ".monitor";
  }
  // Returns once the tone is heard, so that a capture started now has it from its start.
  const double threshold = std::max(tone.leftLevel, tone.rightLevel) * FullScale / 2.0;
  if (threshold < 1.0) return;
  state_->WaitFor(
      [&] {
        const auto samples = Record(heardIn, ToneRate / 20);
        return std::any_of(samples.begin(), samples.end(),
                           [&](std::int16_t sample) { return std::abs(sample) > threshold; });
      },
      "the tone in " + heardIn);
}

void PulseServer::StopTone(const std::string& target) { state_->players.erase(target); }

std::vector<std::int16_t> PulseServer::Record(const std::string& source, std::size_t frames) {
  Pipe pipe = MakePipe();
  const auto parec =
      state_->Spawn({"parec", "--raw", "--format=s16le", "--rate=" + std::to_string(ToneRate),
                     "--channels=2", RecordLatency, "--device=" + source},
                    Streams().To(pipe.write.Get()));
  pipe.write.Reset();
  const auto length = std::chrono::milliseconds(frames * 1000 / ToneRate);
  const std::string bytes = ReadFrom(pipe.read.Get(), frames * BytesPerFrame,
                                     std::chrono::steady_clock::now() + length + RecordSlack);
  std::vector<std::int16_t> samples(bytes.size() / 2);
  for (std::size_t i = 0; i < samples.size(); ++i) {
    const auto low = static_cast<std::uint8_t>(bytes[2 * i]);
    const auto high = static_cast<std::uint8_t>(bytes[2 * i + 1]);
    samples[i] = static_cast<std::int16_t>(static_cast<std::uint16_t>(low | (high << 8U)));
  }
  return samples;
}

std::optional<std::string> PulseServer::Pactl(const std::vector<std::string>& arguments) {
  std::vector<std::string> command{"pactl"};
  command.insert(command.end(), arguments.begin(), arguments.end());
  return state_->Run(std::move(command));
}

std::vector<std::string> PulseServer::SourceNames() {
  std::vector<std::string> names;
  std::istringstream lines(Pactl({"list", "short", "sources"}).value_or(""));
  for (std::string line; std::getline(lines, line);) {
    std::istringstream fields(line);
    std::string index;
    std::string name;
    if (fields >> index >> name) names.push_back(name);
  }
  return names;
}

void PulseServer::Kill() {
  std::for_each(state_->servers.rbegin(), state_->servers.rend(),
                [](const auto& server) { server->Stop(SIGKILL); });
  state_->servers.clear();
}
