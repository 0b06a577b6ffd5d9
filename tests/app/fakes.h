// Fakes of the start-up checks' and the error bridge's system interfaces.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/startup_checks.h"
#include "shell/registry.h"

namespace pq::app::testing {

class FakeRegistry : public MachineRegistry {
  public:
    // A key with no values, so that value lookups report kValueMissing.
    void AddKey(const std::string& key) { keys_.insert(key); }
    void SetText(const std::string& key, const std::string& value, const std::string& text) {
        keys_.insert(key);
        values_[{key, value}] = {RegistryText::Status::kFound, text};
    }
    void SetNonText(const std::string& key, const std::string& value) {
        keys_.insert(key);
        values_[{key, value}] = {RegistryText::Status::kWrongType, {}};
    }
    RegistryText ReadText(std::string_view key, std::string_view value) override {
        ++reads;
        if (!keys_.count(std::string(key))) return {RegistryText::Status::kKeyMissing, {}};
        auto it = values_.find({std::string(key), std::string(value)});
        if (it == values_.end()) return {RegistryText::Status::kValueMissing, {}};
        return it->second;
    }
    int reads = 0;

  private:
    std::set<std::string> keys_;
    std::map<std::pair<std::string, std::string>, RegistryText> values_;
};

class FakeFiles : public FileProbe {
  public:
    bool IsRegularFile(const std::string& path) override {
        probed.push_back(path);
        return files.count(path) > 0;
    }
    std::set<std::string> files;
    std::vector<std::string> probed;
};

class FakeDrives : public DriveSpace {
  public:
    int64_t FreeBytes(const std::string& root) override {
        queried.push_back(root);
        auto it = free.find(root);
        return it == free.end() ? 0 : it->second;
    }
    std::map<std::string, int64_t> free;
    std::vector<std::string> queried;
};

}  // namespace pq::app::testing
