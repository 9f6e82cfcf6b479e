// Faults of the line or the processor, switched on from outside: which fault,
// and when it fires (the next packet, packets of one opcode, at random with a
// seed, or every packet from the N-th on).
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace sim {

enum class FaultKind {
    NoReply,         // the command is carried out, its reply is lost
    ShortReply,      // the reply lacks its last `bytes` bytes
    BadChecksum,     // the reply's checksum is off by one
    LateReply,       // the reply comes `delayMs` late
    Garbage,         // `bytes` stray bytes come before the reply
    ProcessorReset,  // the processor resets before the command; status 1
    Silence,         // from then on nothing is answered
    HangUp,          // the line disappears
    Refusal,         // the command is refused with `status`, not carried out
    Unplug,          // the line goes away before the command for `delayMs`, then a new
                     // device comes up under the same name; the processor keeps its state
    PowerCut,        // the same, and the board loses power: it comes back reset
};

const char* FaultName(FaultKind kind);

enum class FaultTrigger { Next, Opcode, Random, From };

struct FaultRule {
    FaultKind kind = FaultKind::NoReply;
    FaultTrigger trigger = FaultTrigger::Next;
    std::uint8_t opcode = 0;  // Opcode
    double probability = 0;   // Random
    std::uint32_t seed = 1;   // Random
    std::uint64_t from = 1;   // From: packet number, counted from 1
    int count = -1;           // how often it may fire; -1 = no limit (Next: once)
    int delayMs = 500;        // LateReply; Unplug and PowerCut: how long the line is away
                              // (2000 unless given)
    int bytes = 1;            // ShortReply: bytes cut; Garbage: bytes added
    int axis = -1;            // only packets for this axis; -1 = any
    int status = 13;          // Refusal: the status answered
};

// "KIND[:OPTION]...", KIND one of noreply short badsum late garbage reset
// silence hangup refuse unplug powercut; OPTION one of next, op=NAME|0xNN, p=PROBABILITY,
// seed=N, from=N, count=N, ms=N, bytes=N, axis=N (only that axis's packets),
// status=N (1 to 255). Without a trigger option: next.
bool ParseFault(const std::string& spec, FaultRule* rule, std::string* error);

class FaultPlan {
  public:
    void Add(const FaultRule& rule);
    void Clear();
    // The fault that fires on packet `number` (counted from 1) with `opcode`,
    // if any; the first rule that fires wins.
    std::optional<FaultRule> Decide(std::uint64_t number, std::uint8_t opcode, std::uint8_t axis);

  private:
    struct Armed {
        FaultRule rule;
        int fired = 0;
        std::mt19937 rng;
    };
    std::mutex m_mutex;
    std::vector<Armed> m_rules;
};

}  // namespace sim
