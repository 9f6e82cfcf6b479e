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
    using RegistryKey = platform::RegistryKey;

    // Creates the keys along a path ("A\B\C") and returns the last.
    Key& Add(const std::u16string& path) { return *Walk(&m_root, path, true); }
    Key* Find(const std::u16string& path) { return Walk(&m_root, path, false); }

    bool refuseWrites = false;
    int openKeys = 0;
    int writes = 0;

    long OpenLocalMachine(const std::u16string& path, std::uint32_t access,
                          RegistryKey* key) override {
        return OpenSubKey(reinterpret_cast<RegistryKey>(&m_root), path, access, key);
    }
    long OpenSubKey(RegistryKey parent, const std::u16string& path, std::uint32_t,
                    RegistryKey* key) override {
        Key* found = Walk(reinterpret_cast<Key*>(parent), path, false);
        if (!found) return platform::kRegistryFileNotFound;
        ++openKeys;
        *key = reinterpret_cast<RegistryKey>(found);
        return platform::kRegistrySuccess;
    }
    long EnumSubKey(RegistryKey key, std::uint32_t index, std::size_t,
                    std::u16string* name) override {
        Key* k = reinterpret_cast<Key*>(key);
        if (index >= k->children.size()) return platform::kRegistryNoMoreItems;
        *name = k->children[index].first;
        return platform::kRegistrySuccess;
    }
    long QueryDword(RegistryKey key, const std::u16string& name, std::uint32_t* value) override {
        return Lookup(reinterpret_cast<Key*>(key)->dwords, name, value);
    }
    long QueryString(RegistryKey key, const std::u16string& name, std::size_t,
                     std::u16string* value) override {
        return Lookup(reinterpret_cast<Key*>(key)->strings, name, value);
    }
    long SetDword(RegistryKey key, const std::u16string& name, std::uint32_t value) override {
        if (refuseWrites) return platform::kRegistryAccessDenied;
        reinterpret_cast<Key*>(key)->dwords[name] = value;
        ++writes;
        return platform::kRegistrySuccess;
    }
    long Close(RegistryKey) override {
        --openKeys;
        return platform::kRegistrySuccess;
    }

  private:
    static Key* Walk(Key* key, const std::u16string& path, bool create) {
        for (std::size_t start = 0; key && start <= path.size();) {
            const std::size_t end = std::min(path.find(u'\\', start), path.size());
            const std::u16string part = path.substr(start, end - start);
            start = end + 1;
            if (part.empty()) continue;
            Key* next = nullptr;
            for (auto& child : key->children)
                if (child.first == part) next = child.second.get();
            if (!next && create)
                next = key->children.emplace_back(part, std::make_unique<Key>()).second.get();
            key = next;
        }
        return key;
    }
    // A value of the key's map, if it is there.
    template <typename Map, typename Value>
    static long Lookup(const Map& map, const std::u16string& name, Value* value) {
        const auto it = map.find(name);
        if (it == map.end()) return platform::kRegistryFileNotFound;
        *value = it->second;
        return platform::kRegistrySuccess;
    }
    Key m_root;
};

}  // namespace testing_support
