#include "tests/support/fake_registry.h"

namespace testing_support {

using platform::RegistryKey;

FakeRegistry::Key* FakeRegistry::Walk(Key* from, const std::u16string& path, bool create) {
    Key* key = from;
    std::size_t start = 0;
    while (key && start <= path.size()) {
        const std::size_t end = path.find(u'\\', start);
        const std::u16string part =
            path.substr(start, end == std::u16string::npos ? std::u16string::npos : end - start);
        if (!part.empty()) {
            Key* next = nullptr;
            for (auto& child : key->children) {
                if (child.first == part) next = child.second.get();
            }
            if (!next && create) {
                key->children.emplace_back(part, std::make_unique<Key>());
                next = key->children.back().second.get();
            }
            key = next;
        }
        if (end == std::u16string::npos) break;
        start = end + 1;
    }
    return key;
}

FakeRegistry::Key& FakeRegistry::Add(const std::u16string& path) {
    return *Walk(&m_root, path, true);
}
FakeRegistry::Key* FakeRegistry::Find(const std::u16string& path) {
    return Walk(&m_root, path, false);
}

long FakeRegistry::OpenLocalMachine(const std::u16string& path, std::uint32_t access,
                                    RegistryKey* key) {
    return OpenSubKey(reinterpret_cast<RegistryKey>(&m_root), path, access, key);
}

long FakeRegistry::OpenSubKey(RegistryKey parent, const std::u16string& path, std::uint32_t,
                              RegistryKey* key) {
    Key* found = Walk(reinterpret_cast<Key*>(parent), path, false);
    if (!found) return platform::kRegistryFileNotFound;
    ++openKeys;
    *key = reinterpret_cast<RegistryKey>(found);
    return platform::kRegistrySuccess;
}

long FakeRegistry::EnumSubKey(RegistryKey key, std::uint32_t index, std::size_t,
                              std::u16string* name) {
    Key* k = reinterpret_cast<Key*>(key);
    if (index >= k->children.size()) return platform::kRegistryNoMoreItems;
    *name = k->children[index].first;
    return platform::kRegistrySuccess;
}

// A value of the key's map, if it is there.
template <typename Map, typename Value>
long Lookup(const Map& map, const std::u16string& name, Value* value) {
    const auto it = map.find(name);
    if (it == map.end()) return platform::kRegistryFileNotFound;
    *value = it->second;
    return platform::kRegistrySuccess;
}

long FakeRegistry::QueryDword(RegistryKey key, const std::u16string& name, std::uint32_t* value) {
    return Lookup(reinterpret_cast<Key*>(key)->dwords, name, value);
}

long FakeRegistry::QueryString(RegistryKey key, const std::u16string& name, std::size_t,
                               std::u16string* value) {
    return Lookup(reinterpret_cast<Key*>(key)->strings, name, value);
}

long FakeRegistry::SetDword(RegistryKey key, const std::u16string& name, std::uint32_t value) {
    if (refuseWrites) return platform::kRegistryAccessDenied;
    reinterpret_cast<Key*>(key)->dwords[name] = value;
    ++writes;
    return platform::kRegistrySuccess;
}

long FakeRegistry::Close(RegistryKey) {
    --openKeys;
    return platform::kRegistrySuccess;
}

}  // namespace testing_support
