// The engine's one default session: aliases (name -> folder, kept for the life of the
// process), the Paradox network control directory, the registered table passwords, and the
// engine's start, which happens inside the first operation that needs it.
// The session is owned by the engine; tables read its aliases and passwords when they open.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace pq::paradox {
class FileSystem;
}

namespace pq::tabledb {

class Session {
  public:
    explicit Session(paradox::FileSystem& fs);

    // Closes the connections that no open table uses. The engine keeps none between
    // tables, so this only starts nothing and changes nothing.
    void ReleaseIdleConnections();
    // Drops the alias if it exists; an absent alias is no error. Starts the engine.
    void RemoveAlias(const std::string& name);
    // Defines (or replaces) an alias for a folder; the only driver is "Paradox".
    void DefineStandardAlias(const std::string& name, const std::string& folder,
                             const std::string& driver);
    void SetNetFileDir(const std::string& folder);
    const std::string& NetFileDir() const { return netFileDir_; }
    // Tables protected by a registered password open without a prompt.
    void RegisterPassword(const std::string& password);
    const std::vector<std::string>& Passwords() const { return passwords_; }
    void SetActive(bool active);
    bool Active() const { return started_; }

    bool HasAlias(const std::string& name) const;
    // The alias's folder; EDatabaseError when the alias is unknown.
    const std::string& AliasPath(const std::string& name);
    paradox::FileSystem& Files() { return fs_; }

    // Told when the engine's start begins (true) and ends (false): the program shows the
    // hourglass cursor meanwhile and the default cursor after.
    std::function<void(bool busy)> OnEngineBusy;
    // Test seam: makes the next start fail with this engine error code (0 = none).
    void FailNextStart(uint16_t code) { failStart_ = code; }

  private:
    void Start();
    static std::string Key(const std::string& aliasName);

    paradox::FileSystem& fs_;
    bool started_ = false;
    uint16_t failStart_ = 0;
    std::string netFileDir_;
    std::vector<std::string> passwords_;
    std::map<std::string, std::string> aliases_;  // upper-cased name -> folder
};

// The process's default session, over the host system's files.
Session& DefaultSession();

}  // namespace pq::tabledb
