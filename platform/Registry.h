#pragma once
// A settings store with the registry object's operations. Each root is one
// INI-format file in $XDG_CONFIG_HOME/corvane (default ~/.config/corvane),
// rewritten atomically on every change under an flock on a lock file beside
// it. Key names ignore letter case.
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>

namespace plat {

enum class TRootKey { HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER };

// Raised where the registry object raises: a value of the wrong type, or a
// missing value read as an integer or Boolean.
class ERegistryException : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TRegistry {
public:
    explicit TRegistry(TRootKey root = TRootKey::HKEY_CURRENT_USER);
    ~TRegistry();
    TRegistry(const TRegistry&) = delete;
    TRegistry& operator=(const TRegistry&) = delete;

    // Opens Key ("\Software\Corvane" or "Software/Corvane"); false when it is
    // missing and CanCreate is false, or when the store cannot be read.
    bool OpenKey(const std::string& Key, bool CanCreate);
    void CloseKey();

    bool ValueExists(const std::string& Name) const;
    std::string ReadString(const std::string& Name) const;   // missing: ""
    int32_t ReadInteger(const std::string& Name) const;      // REG_DWORD
    bool ReadBool(const std::string& Name) const;            // ReadInteger != 0
    void WriteString(const std::string& Name, const std::string& Value);
    void WriteInteger(const std::string& Name, int32_t Value);
    void WriteBool(const std::string& Name, bool Value);
    bool DeleteValue(const std::string& Name);

    // Tests point the store at a temporary folder; "" restores the default.
    static void SetStoreFolder(const std::string& Folder);
    static std::string StoreFolder();
    // Runs after the store is read and before it is written back, with its
    // lock held; tests make a second writer meet the first there.
    static void SetWriteHook(std::function<void()> Hook);

private:
    struct Impl;
    Impl* FImpl;
};

} // namespace plat
