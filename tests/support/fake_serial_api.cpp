#include "tests/support/fake_serial_api.h"

#include <algorithm>

namespace testing_support {

std::vector<std::string> FakeSerialApi::CallNames() const {
    std::vector<std::string> names;
    for (const auto& call : calls) names.push_back(call.what);
    return names;
}

const SerialCall* FakeSerialApi::Find(const std::string& what) const {
    for (const auto& call : calls) {
        if (call.what == what) return &call;
    }
    return nullptr;
}

int FakeSerialApi::Count(const std::string& what) const {
    return static_cast<int>(std::count_if(calls.begin(), calls.end(),
                                          [&](const SerialCall& c) { return c.what == what; }));
}

platform::SerialHandle FakeSerialApi::Open(const char16_t* name, std::uint32_t access,
                                           std::uint32_t shareMode, std::uint32_t disposition,
                                           std::uint32_t flags) {
    SerialCall call;
    call.what = "open";
    call.name = name;
    call.args[0] = access;
    call.args[1] = shareMode;
    call.args[2] = disposition;
    call.args[3] = flags;
    calls.push_back(call);
    return openSucceeds ? kHandle : platform::kInvalidSerialHandle;
}

bool FakeSerialApi::SetControlBlock(platform::SerialHandle,
                                    const platform::SerialControlBlock& block) {
    SerialCall call;
    call.what = "state";
    call.block = block;
    calls.push_back(call);
    if (stateSucceeds) m_block = block;
    return stateSucceeds;
}

bool FakeSerialApi::GetControlBlock(platform::SerialHandle, platform::SerialControlBlock* block) {
    if (block) *block = m_block;
    return true;
}

bool FakeSerialApi::SetTimeouts(platform::SerialHandle, const platform::SerialTimeouts& timeouts) {
    SerialCall call;
    call.what = "timeouts";
    call.timeouts = timeouts;
    calls.push_back(call);
    return timeoutsSucceeds;
}

bool FakeSerialApi::Purge(platform::SerialHandle, std::uint32_t flags) {
    SerialCall call;
    call.what = "purge";
    call.args[0] = flags;
    calls.push_back(call);
    return true;
}

bool FakeSerialApi::Write(platform::SerialHandle, const std::uint8_t* data, std::uint32_t count,
                          std::uint32_t* written) {
    SerialCall call;
    call.what = "write";
    const std::uint32_t accepted = writeSucceeds ? std::min(count, writeLimit) : 0;
    call.bytes.assign(data, data + accepted);
    calls.push_back(call);
    if (written) *written = accepted;
    return writeSucceeds;
}

bool FakeSerialApi::Read(platform::SerialHandle, std::uint8_t* data, std::uint32_t count,
                         std::uint32_t* received) {
    SerialCall call;
    call.what = "read";
    call.args[0] = count;
    ScriptedRead next;
    if (!reads.empty()) {
        next = reads.front();
        reads.pop_front();
    }
    const std::uint32_t n =
        std::min<std::uint32_t>(count, static_cast<std::uint32_t>(next.bytes.size()));
    std::copy(next.bytes.begin(), next.bytes.begin() + n, data);
    call.bytes.assign(next.bytes.begin(), next.bytes.begin() + n);
    calls.push_back(call);
    if (received) *received = n;
    return next.ok;
}

bool FakeSerialApi::Close(platform::SerialHandle) {
    SerialCall call;
    call.what = "close";
    calls.push_back(call);
    return true;
}

bool FakeSerialApi::PendingInput(platform::SerialHandle, std::uint32_t* count) {
    if (count) *count = 0;
    return true;
}

}  // namespace testing_support
