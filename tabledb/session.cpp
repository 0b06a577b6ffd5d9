#include "tabledb/session.h"

#include <algorithm>

#include "base/text.h"
#include "paradox/file.h"
#include "tabledb/errors.h"

namespace pq::tabledb {

Session::Session(paradox::FileSystem& fs) : fs_(fs) {}

void Session::Start() {
    if (started_) return;
    if (OnEngineBusy) OnEngineBusy(true);
    const uint16_t fail = failStart_;
    failStart_ = 0;
    if (fail) {
        if (OnEngineBusy) OnEngineBusy(false);
        throw EDBEngineError::StartFailure(fail);
    }
    started_ = true;
    if (OnEngineBusy) OnEngineBusy(false);
}

// Alias names compare without regard to case (ASCII and the accented Latin letters), as the
// engine's configuration does.
std::string Session::Key(const std::string& aliasName) {
    std::u16string w = text::Utf8ToUtf16(aliasName);
    for (char16_t& c : w) {
        if (c >= u'a' && c <= u'z')
            c = static_cast<char16_t>(c - 0x20);
        else if (c >= 0xE0 && c <= 0xFE && c != 0xF7)
            c = static_cast<char16_t>(c - 0x20);
    }
    return text::Utf16ToUtf8(w);
}

void Session::ReleaseIdleConnections() {}

void Session::RemoveAlias(const std::string& name) {
    Start();
    aliases_.erase(Key(name));
}

void Session::DefineStandardAlias(const std::string& name, const std::string& folder,
                                  const std::string& driver) {
    Start();
    if (name.empty()) throw EDBEngineError(errc::kAlias, {"Invalid alias name."});
    if (driver != "Paradox" && driver != "PARADOX" && driver != "STANDARD")
        throw EDBEngineError(errc::kAlias, {"Unknown driver.", "Driver: " + driver});
    aliases_[Key(name)] = folder;
}

void Session::SetNetFileDir(const std::string& folder) {
    Start();
    if (folder.empty()) throw EDBEngineError(errc::kAlias, {"Invalid network directory."});
    netFileDir_ = folder;
}

void Session::RegisterPassword(const std::string& password) {
    Start();
    if (std::find(passwords_.begin(), passwords_.end(), password) == passwords_.end())
        passwords_.push_back(password);
}

void Session::SetActive(bool active) {
    if (active) Start();
}

bool Session::HasAlias(const std::string& name) const {
    return aliases_.count(Key(name)) > 0;
}

const std::string& Session::AliasPath(const std::string& name) {
    Start();
    auto it = aliases_.find(Key(name));
    if (it == aliases_.end())
        throw EDBEngineError(errc::kAlias, {"Unknown database.", "Alias: " + name});
    return it->second;
}

Session& DefaultSession() {
    static Session session(paradox::OsFileSystem());
    return session;
}

}  // namespace pq::tabledb
