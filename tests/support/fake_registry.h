// An in-memory registry below HKEY_LOCAL_MACHINE for tests: keys with
// ordered sub-keys and values, a count of open handles, and writes that can
// be refused (as without administrative rights).
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/registry.h"

namespace testing_support {

class FakeRegistry final : public platform::RegistryApi {
  public:
    struct Key {
        std::vector<std::pair<std::u16string, std::unique_ptr<Key>>>
            children;  // in enumeration order
        std::map<std::u16string, std::uint32_t> dwords;
        std::map<std::u16string, std::u16string> strings;
    };

    // Creates the keys along a path ("A\B\C") and returns the last.
    Key& Add(const std::u16string& path);
    Key* Find(const std::u16string& path);

    bool refuseWrites = false;
    int openKeys = 0;
    int writes = 0;

    long OpenLocalMachine(const std::u16string& path, std::uint32_t access,
                          platform::RegistryKey* key) override;
    long OpenSubKey(platform::RegistryKey parent, const std::u16string& path, std::uint32_t access,
                    platform::RegistryKey* key) override;
    long EnumSubKey(platform::RegistryKey key, std::uint32_t index, std::size_t maxChars,
                    std::u16string* name) override;
    long QueryDword(platform::RegistryKey key, const std::u16string& name,
                    std::uint32_t* value) override;
    long QueryString(platform::RegistryKey key, const std::u16string& name, std::size_t maxBytes,
                     std::u16string* value) override;
    long SetDword(platform::RegistryKey key, const std::u16string& name,
                  std::uint32_t value) override;
    long Close(platform::RegistryKey key) override;

  private:
    static Key* Walk(Key* from, const std::u16string& path, bool create);
    Key m_root;
};

}  // namespace testing_support
