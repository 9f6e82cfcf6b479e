#include "tests/support/fake_serial_api.h"

#include <algorithm>

namespace testing_support {

std::vector<std::string> FakeSerialApi::CallNames() const {
    std::vector<std::string> names;
    for (const auto& call : calls) names.push_back(call.what);
    return names;
}

const SerialCall* FakeSerialApi::Find(const std::string& what) const {
    const auto it = std::find_if(calls.begin(), calls.end(),
                                 [&](const SerialCall& c) { return c.what == what; });
    return it == calls.end() ? nullptr : &*it;
}

int FakeSerialApi::Count(const std::string& what) const {
    return static_cast<int>(std::count_if(calls.begin(), calls.end(),
                                          [&](const SerialCall& c) { return c.what == what; }));
}

SerialCall& FakeSerialApi::Record(const char* what) {
    calls.emplace_back();
    calls.back().what = what;
    return calls.back();
}

platform::SerialHandle FakeSerialApi::Open(const char16_t* name, std::uint32_t access,
                                           std::uint32_t shareMode, std::uint32_t disposition,
                                           std::uint32_t flags) {
    SerialCall& call = Record("open");
    call.name = name;
    const std::uint32_t args[4] = {access, shareMode, disposition, flags};
    std::copy(args, args + 4, call.args);
    return openSucceeds ? kHandle : platform::kInvalidSerialHandle;
}

bool FakeSerialApi::SetControlBlock(platform::SerialHandle,
                                    const platform::SerialControlBlock& block) {
    Record("state").block = block;
    if (stateSucceeds) m_block = block;
    return stateSucceeds;
}

bool FakeSerialApi::GetControlBlock(platform::SerialHandle, platform::SerialControlBlock* block) {
    if (block) *block = m_block;
    return true;
}

bool FakeSerialApi::SetTimeouts(platform::SerialHandle, const platform::SerialTimeouts& timeouts) {
    Record("timeouts").timeouts = timeouts;
    return timeoutsSucceeds;
}

bool FakeSerialApi::Purge(platform::SerialHandle, std::uint32_t flags) {
    Record("purge").args[0] = flags;
    return true;
}

bool FakeSerialApi::Write(platform::SerialHandle, const std::uint8_t* data, std::uint32_t count,
                          std::uint32_t* written) {
    const std::uint32_t accepted = writeSucceeds ? std::min(count, writeLimit) : 0;
    Record("write").bytes.assign(data, data + accepted);
    if (written) *written = accepted;
    return writeSucceeds;
}

bool FakeSerialApi::Read(platform::SerialHandle, std::uint8_t* data, std::uint32_t count,
                         std::uint32_t* received) {
    ScriptedRead next;
    if (!reads.empty()) {
        next = reads.front();
        reads.pop_front();
    }
    const std::uint32_t n = std::min(count, static_cast<std::uint32_t>(next.bytes.size()));
    std::copy(next.bytes.begin(), next.bytes.begin() + n, data);
    SerialCall& call = Record("read");
    call.args[0] = count;
    call.bytes.assign(next.bytes.begin(), next.bytes.begin() + n);
    if (received) *received = n;
    return next.ok;
}

bool FakeSerialApi::Close(platform::SerialHandle) {
    Record("close");
    return true;
}

bool FakeSerialApi::PendingInput(platform::SerialHandle, std::uint32_t* count) {
    if (count) *count = 0;
    return true;
}

}  // namespace testing_support
