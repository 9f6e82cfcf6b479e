// tessaro-sim's control channel: a local socket on which a test or a script
// asks the simulator what no host can ask the board (where each axis
// physically stands, whatever resets came since) and tells it what no host
// can do (take the line away, cut the board's power, arm a fault).
//
// One request a line, one answer a line:
//   where            "steps S0 .. Sn moving M0 .. Mn resets R": each axis's
//                    place in steps of the frame the simulator started in
//                    (a reset restarts the count, not the stage), whether it
//                    moves (1 or 0), and how often the processor came up
//                    from power-up
//   unplug MS        the line away for MS ms, as SIGUSR1 does     "ok"
//   powercut MS      the same, and the board comes back reset    "ok"
//   fault SPEC       one more fault rule, as --fault takes it     "ok"
//   clear-faults     every fault rule dropped                     "ok"
// Anything else is answered "error WHY".
#pragma once

#include <atomic>
#include <string>
#include <thread>

#include "sim/processor_endpoint.h"

namespace sim {

// The answer to one request line (no line end), for the channel and its
// tests.
std::string AnswerControlRequest(ProcessorEndpoint& endpoint, const std::string& request);

class ControlChannel {
  public:
    explicit ControlChannel(ProcessorEndpoint& endpoint) : m_endpoint(endpoint) {}
    ~ControlChannel() { Stop(); }
    ControlChannel(const ControlChannel&) = delete;
    ControlChannel& operator=(const ControlChannel&) = delete;

    // Listens on a socket at `path` (an old one there is replaced).
    bool Start(const std::string& path, std::string* error);
    void Stop();

  private:
    void Serve();
    void Converse(int connection);

    ProcessorEndpoint& m_endpoint;
    std::string m_path;
    int m_listener = -1;
    std::thread m_thread;
    std::atomic<bool> m_bStop{false};
};

}  // namespace sim
