// A scripted stand-in for the operating system's serial calls: records every
// call in order and answers as the test sets it up.
#pragma once

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

    std::vector<std::string> CallNames() const;
    const SerialCall* Find(const std::string& what) const;
    int Count(const std::string& what) const;

    platform::SerialHandle Open(const char16_t* name, std::uint32_t access, std::uint32_t shareMode,
                                std::uint32_t disposition, std::uint32_t flags) override;
    bool SetControlBlock(platform::SerialHandle,
                         const platform::SerialControlBlock& block) override;
    bool GetControlBlock(platform::SerialHandle, platform::SerialControlBlock* block) override;
    bool SetTimeouts(platform::SerialHandle, const platform::SerialTimeouts& timeouts) override;
    bool Purge(platform::SerialHandle, std::uint32_t flags) override;
    bool Write(platform::SerialHandle, const std::uint8_t* data, std::uint32_t count,
               std::uint32_t* written) override;
    bool Read(platform::SerialHandle, std::uint8_t* data, std::uint32_t count,
              std::uint32_t* received) override;
    bool Close(platform::SerialHandle) override;
    bool PendingInput(platform::SerialHandle, std::uint32_t* count) override;

  private:
    SerialCall& Record(const char* what);
    platform::SerialControlBlock m_block;
};

}  // namespace testing_support
