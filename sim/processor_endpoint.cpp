#include "sim/processor_endpoint.h"

#include "cmotion/link_errors.h"
#include "cmotion/link_opcodes.h"
#include "cmotion/link_packet.h"
#include "sim/command_shapes.h"

namespace sim {
namespace {

// What stray bytes on the line look like: not zeros, so that they cannot
// pass for the start of a clean reply.
constexpr std::uint8_t kGarbageByte = 0xA5;

std::vector<std::uint8_t> ReplyBytes(std::uint8_t status, const std::uint16_t* words,
                                     std::size_t count) {
    std::vector<std::uint8_t> bytes = {status, 0};
    for (std::size_t i = 0; i < count; ++i) {
        bytes.push_back(static_cast<std::uint8_t>(words[i] >> 8));
        bytes.push_back(static_cast<std::uint8_t>(words[i] & 0xFF));
    }
    bytes[1] = static_cast<std::uint8_t>(0x100 - cmotion::ByteSum(bytes.data(), bytes.size()));
    return bytes;
}

}  // namespace

ProcessorEndpoint::ProcessorEndpoint(const BoardConfig& config, const Clock& clock)
    : m_clock(clock), m_processor(config, clock) {}

EndpointStats ProcessorEndpoint::stats() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_stats;
}

void ProcessorEndpoint::Unplug(int ms, bool powerCut) {
    std::lock_guard<std::mutex> lock(m_mutex);
    UnplugLocked(ms, powerCut);
}

void ProcessorEndpoint::UnplugLocked(int ms, bool powerCut) {
    m_unpluggedUntilMicros = m_clock.NowMicros() + static_cast<std::int64_t>(ms) * 1000;
    // Whatever part of a packet the receiver held went with the line.
    m_assembler.Clear();
    if (powerCut) {
        ++m_stats.resets;
        m_processor.PowerCut();
    }
    m_unplugs.fetch_add(1, std::memory_order_release);
}

bool ProcessorEndpoint::unplugged() const {
    return m_clock.NowMicros() < m_unpluggedUntilMicros.load();
}

std::vector<Emission> ProcessorEndpoint::Receive(const std::uint8_t* bytes, std::size_t count) {
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<Emission> out;
    if (unplugged()) return out;
    const std::uint64_t unplugs = m_unplugs;
    for (std::size_t i = 0; i < count && !m_bHungUp && unplugs == m_unplugs; ++i) {
        if (m_assembler.Feed(bytes[i])) HandlePacket(m_assembler.packet(), &out);
    }
    return out;
}

void ProcessorEndpoint::HandlePacket(const std::vector<std::uint8_t>& packet,
                                     std::vector<Emission>* out) {
    TraceEntry entry;
    entry.timeMicros = m_clock.NowMicros();
    entry.number = ++m_stats.packets;
    entry.axis = packet[2];
    entry.opcode = packet[3];
    for (std::size_t i = 4; i + 1 < packet.size(); i += 2) {
        entry.args.push_back(static_cast<std::uint16_t>((packet[i] << 8) | packet[i + 1]));
    }
    const std::optional<FaultRule> fault = m_faults.Decide(entry.number, entry.opcode, entry.axis);
    if (fault) {
        ++m_stats.faults;
        entry.fault = FaultName(fault->kind);
        if (fault->kind == FaultKind::Silence) m_bSilent = true;
        if (fault->kind == FaultKind::HangUp) m_bHungUp = true;
        if (fault->kind == FaultKind::Unplug || fault->kind == FaultKind::PowerCut) {
            // Gone before the command arrived: not carried out, not answered.
            entry.answered = false;
            m_trace.Record(entry);
            UnplugLocked(fault->delayMs, fault->kind == FaultKind::PowerCut);
            return;
        }
    }
    if (m_bSilent || m_bHungUp) {
        entry.answered = false;
        if (m_bHungUp) out->push_back(Emission{{}, 0, true});
        m_trace.Record(entry);
        return;
    }

    const CommandShape shape = ShapeOf(entry.opcode);
    ExecResult result;
    std::size_t replyWords = shape.replyWords;
    if (fault && fault->kind == FaultKind::ProcessorReset) {
        ++m_stats.resets;
        m_processor.PowerUp();
        result.status = cmotion::kLinkProcessorReset;
    } else if (fault && fault->kind == FaultKind::Refusal) {
        result.status = static_cast<std::uint8_t>(fault->status);  // the words stay zero
    } else if (cmotion::ByteSum(packet.data(), packet.size()) != 0) {
        result.status = cmotion::kLinkInvalidChecksum;  // not carried out
    } else if (!shape.known) {
        result.status = cmotion::kLinkInvalidInstruction;
        replyWords = 0;
    } else {
        result = m_processor.Execute(entry.axis, entry.opcode, entry.args.data(), entry.args.size(),
                                     replyWords);
        if (entry.opcode == static_cast<std::uint8_t>(cmotion::Opcode::Reset) && result.status == 0)
            ++m_stats.resets;
    }
    if (result.status != 0) ++m_stats.refusals;
    entry.status = result.status;
    entry.reply.assign(result.reply, result.reply + replyWords);

    Emission reply{ReplyBytes(result.status, result.reply, replyWords), 0, false};
    if (fault) {
        switch (fault->kind) {
            case FaultKind::NoReply:
                entry.answered = false;
                m_trace.Record(entry);
                return;
            case FaultKind::ShortReply:
                reply.bytes.resize(reply.bytes.size() > static_cast<std::size_t>(fault->bytes)
                                       ? reply.bytes.size() - fault->bytes
                                       : 0);
                break;
            case FaultKind::BadChecksum:
                reply.bytes[1] = static_cast<std::uint8_t>(reply.bytes[1] + 1);
                break;
            case FaultKind::LateReply:
                reply.delayMicros = static_cast<std::int64_t>(fault->delayMs) * 1000;
                break;
            case FaultKind::Garbage:
                reply.bytes.insert(reply.bytes.begin(), static_cast<std::size_t>(fault->bytes),
                                   kGarbageByte);
                break;
            default:
                break;
        }
    }
    m_trace.Record(entry);
    out->push_back(std::move(reply));
}

}  // namespace sim
