// A scripted stand-in for the operating system's serial calls: records every
// call in order and answers as the test sets it up.
#pragma once

#include <algorithm>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "platform/serial_port.h"

namespace testing_support {

struct SerialCall {
    std::string what;     // "open", "state", "timeouts", "purge", "write", "read", "close"
    std::u16string name;  // open
    // open: access, share, disposition, flags; purge: flags; read: count
    std::uint32_t args[4] = {};
    platform::SerialControlBlock block;
    platform::SerialTimeouts timeouts;
    std::vector<std::uint8_t> bytes;  // write: what was written; read: what was returned
};

struct ScriptedRead {
    bool ok = true;
    std::vector<std::uint8_t> bytes;  // at most the count asked for is returned
};

class FakeSerialApi final : public platform::SerialApi {
  public:
    static constexpr platform::SerialHandle kHandle = 42;

    bool openSucceeds = true;
    bool stateSucceeds = true;
    bool timeoutsSucceeds = true;
    bool writeSucceeds = true;
    std::uint32_t writeLimit = 0xFFFFFFFFu;  // bytes a write accepts at most
    std::deque<ScriptedRead> reads;          // when empty, a read times out with nothing

    std::vector<SerialCall> calls;

    std::vector<std::string> CallNames() const {
        std::vector<std::string> names;
        for (const auto& call : calls) names.push_back(call.what);
        return names;
    }
    const SerialCall* Find(const std::string& what) const {
        for (const auto& call : calls)
            if (call.what == what) return &call;
        return nullptr;
    }
    int Count(const std::string& what) const {
        const auto names = CallNames();
        return static_cast<int>(std::count(names.begin(), names.end(), what));
    }

    platform::SerialHandle Open(const char16_t* name, std::uint32_t access, std::uint32_t shareMode,
                                std::uint32_t disposition, std::uint32_t flags) override {
        SerialCall& call = Record("open");
        call.name = name;
        const std::uint32_t args[4] = {access, shareMode, disposition, flags};
        std::copy(args, args + 4, call.args);
        return openSucceeds ? kHandle : platform::kInvalidSerialHandle;
    }
    bool SetControlBlock(platform::SerialHandle,
                         const platform::SerialControlBlock& block) override {
        Record("state").block = block;
        if (stateSucceeds) m_block = block;
        return stateSucceeds;
    }
    bool GetControlBlock(platform::SerialHandle, platform::SerialControlBlock* block) override {
        if (block) *block = m_block;
        return true;
    }
    bool SetTimeouts(platform::SerialHandle, const platform::SerialTimeouts& timeouts) override {
        Record("timeouts").timeouts = timeouts;
        return timeoutsSucceeds;
    }
    bool Purge(platform::SerialHandle, std::uint32_t flags) override {
        Record("purge").args[0] = flags;
        return true;
    }
    bool Write(platform::SerialHandle, const std::uint8_t* data, std::uint32_t count,
               std::uint32_t* written) override {
        const std::uint32_t accepted = writeSucceeds ? std::min(count, writeLimit) : 0;
        Record("write").bytes.assign(data, data + accepted);
        if (written) *written = accepted;
        return writeSucceeds;
    }
    bool Read(platform::SerialHandle, std::uint8_t* data, std::uint32_t count,
              std::uint32_t* received) override {
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
    bool Close(platform::SerialHandle) override {
        Record("close");
        return true;
    }
    bool PendingInput(platform::SerialHandle, std::uint32_t* count) override {
        if (count) *count = 0;
        return true;
    }

  private:
    SerialCall& Record(const char* what) {
        calls.emplace_back();
        calls.back().what = what;
        return calls.back();
    }
    platform::SerialControlBlock m_block;
};

}  // namespace testing_support
