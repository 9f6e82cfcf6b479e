#include "sim/faults.h"

#include <cstdlib>
#include <cstring>
#include <sstream>

#include "cmotion/link_opcodes.h"

namespace sim {
namespace {

struct KindName {
    FaultKind kind;
    const char* name;
};
constexpr KindName kKinds[] = {
    {FaultKind::NoReply, "noreply"},    {FaultKind::ShortReply, "short"},
    {FaultKind::BadChecksum, "badsum"}, {FaultKind::LateReply, "late"},
    {FaultKind::Garbage, "garbage"},    {FaultKind::ProcessorReset, "reset"},
    {FaultKind::Silence, "silence"},    {FaultKind::HangUp, "hangup"},
    {FaultKind::Refusal, "refuse"},     {FaultKind::Unplug, "unplug"},
    {FaultKind::PowerCut, "powercut"},
};

bool ParseNumber(const std::string& text, double* value) {
    if (text.empty()) return false;
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (*end != '\0' || !(v >= 0) || v > 1e12) return false;  // also refuses NaN
    *value = v;
    return true;
}

bool ParseOpcode(const std::string& text, std::uint8_t* opcode) {
    if (text.rfind("0x", 0) == 0 || text.rfind("0X", 0) == 0) {
        char* end = nullptr;
        const unsigned long v = std::strtoul(text.c_str() + 2, &end, 16);
        if (*end != '\0' || text.size() == 2 || v > 0xFF) return false;
        *opcode = static_cast<std::uint8_t>(v);
        return true;
    }
    for (unsigned int op = 0; op < 256; ++op) {
        if (text == cmotion::kOpcodeTable[op].name && text != cmotion::kInvalidOpcodeName) {
            *opcode = static_cast<std::uint8_t>(op);
            return true;
        }
    }
    return false;
}

}  // namespace

const char* FaultName(FaultKind kind) {
    for (const auto& k : kKinds) {
        if (k.kind == kind) return k.name;
    }
    return "?";
}

bool ParseFault(const std::string& spec, FaultRule* rule, std::string* error) {
    FaultRule r;
    std::istringstream in(spec);
    std::string part;
    bool first = true;
    bool countGiven = false;
    bool msGiven = false;
    while (std::getline(in, part, ':')) {
        if (first) {
            first = false;
            bool found = false;
            for (const auto& k : kKinds) {
                if (part == k.name) {
                    r.kind = k.kind;
                    found = true;
                }
            }
            if (!found) {
                if (error) *error = "unknown fault kind '" + part + "'";
                return false;
            }
            continue;
        }
        const std::size_t eq = part.find('=');
        const std::string key = part.substr(0, eq);
        const std::string value = eq == std::string::npos ? "" : part.substr(eq + 1);
        double number = 0;
        bool ok = true;
        if (key == "next" && eq == std::string::npos) {
            r.trigger = FaultTrigger::Next;
        } else if (key == "op") {
            r.trigger = FaultTrigger::Opcode;
            ok = ParseOpcode(value, &r.opcode);
        } else if (key == "p") {
            r.trigger = FaultTrigger::Random;
            ok = ParseNumber(value, &number) && number <= 1.0;
            r.probability = number;
        } else if (key == "seed") {
            ok = ParseNumber(value, &number) && number < 4294967296.0;
            r.seed = static_cast<std::uint32_t>(number);
        } else if (key == "from") {
            r.trigger = FaultTrigger::From;
            ok = ParseNumber(value, &number) && number >= 1;
            r.from = static_cast<std::uint64_t>(number);
        } else if (key == "count") {
            ok = ParseNumber(value, &number) && number >= 1 && number < 1e9;
            r.count = static_cast<int>(number);
            countGiven = true;
        } else if (key == "ms") {
            ok = ParseNumber(value, &number) && number < 1e7;
            r.delayMs = static_cast<int>(number);
            msGiven = true;
        } else if (key == "axis") {
            ok = ParseNumber(value, &number) && number <= 255;
            r.axis = static_cast<int>(number);
        } else if (key == "status") {
            ok = ParseNumber(value, &number) && number >= 1 && number <= 255;
            r.status = static_cast<int>(number);
        } else if (key == "bytes") {
            ok = ParseNumber(value, &number) && number >= 1 && number <= 64;
            r.bytes = static_cast<int>(number);
        } else {
            ok = false;
        }
        if (!ok) {
            if (error) *error = "bad fault option '" + part + "' in '" + spec + "'";
            return false;
        }
    }
    if (first) {
        if (error) *error = "empty fault";
        return false;
    }
    if (!countGiven && r.trigger == FaultTrigger::Next) r.count = 1;
    // A USB adapter that drops off the bus is typically back within seconds.
    if (!msGiven && (r.kind == FaultKind::Unplug || r.kind == FaultKind::PowerCut))
        r.delayMs = 2000;
    *rule = r;
    return true;
}

void FaultPlan::Add(const FaultRule& rule) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_rules.push_back(Armed{rule, 0, std::mt19937(rule.seed)});
}

void FaultPlan::Clear() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_rules.clear();
}

std::optional<FaultRule> FaultPlan::Decide(std::uint64_t number, std::uint8_t opcode,
                                           std::uint8_t axis) {
    std::lock_guard<std::mutex> lock(m_mutex);
    for (Armed& armed : m_rules) {
        const FaultRule& r = armed.rule;
        if (r.count >= 0 && armed.fired >= r.count) continue;
        if (r.axis >= 0 && axis != r.axis) continue;
        bool fires = false;
        switch (r.trigger) {
            case FaultTrigger::Next:
                fires = true;
                break;
            case FaultTrigger::Opcode:
                fires = opcode == r.opcode;
                break;
            case FaultTrigger::From:
                fires = number >= r.from;
                break;
            case FaultTrigger::Random:
                // Drawn for every packet, so that a seed gives one sequence.
                fires = std::uniform_real_distribution<double>(0.0, 1.0)(armed.rng) < r.probability;
                break;
        }
        if (fires) {
            ++armed.fired;
            return r;
        }
    }
    return std::nullopt;
}

}  // namespace sim
