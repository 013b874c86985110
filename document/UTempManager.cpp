#include "document/UTempManager.h"

#include "platform/rtl/Exception.h"
#include "platform/system/StateFolder.h"
#include "platform/system/TempFiles.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {
constexpr const char* LogName = "TempManager.log";
constexpr const char* TempPrefix = "~";

bool FileExists(const std::string& Path) {
    struct stat st {};
    return lstat(Path.c_str(), &st) == 0;
}

bool IsHexDigit(char C) {
    return (C >= '0' && C <= '9') || (C >= 'a' && C <= 'f') || (C >= 'A' && C <= 'F');
}

// A full path whose name is "~" and a hexadecimal part: a name this service makes. A damaged
// or foreign log line naming anything else is never deleted.
bool IsTempName(const std::string& Path) {
    if (Path.empty() || Path[0] != '/' || Path.find('\0') != std::string::npos) return false;
    const std::string name = Path.substr(Path.rfind('/') + 1);
    return name.size() >= 2 && name[0] == TempPrefix[0] && IsHexDigit(name[1]);
}
} // namespace

TTempManager::TTempManager() : FLogPath(GetStateDir() + LogName) {
    if (!FileExists(FLogPath)) return;
    try {
        TStringList lines;
        lines.LoadFromFile(FLogPath);
        for (const std::string& line : lines)
            if (!line.empty()) FNames.Add(line);
    } catch (const Exception&) {
        // A log that cannot be read names nothing to clean.
    }
    DeleteAll();
}

TTempManager::~TTempManager() {
    DeleteAll();
}

std::string TTempManager::GetStateDir() {
    return UserStateFolder();
}

std::string TTempManager::GetTempFileName(const std::string& Ext) {
    const std::string name = CreateUniqueFile(TempFolder(), TempPrefix, Ext);
    FNames.Add(name);
    SaveLog();
    return name;
}

// The log is written beside itself and renamed over the old one, so that a crash while it is
// written still leaves a whole log.
void TTempManager::SaveLog() const {
    const std::string fresh = FLogPath + ".new";
    try {
        FNames.SaveToFile(fresh);
    } catch (const Exception&) {
        std::remove(fresh.c_str());
        throw;
    }
    if (std::rename(fresh.c_str(), FLogPath.c_str()) != 0) {
        const std::string reason = std::strerror(errno);
        std::remove(fresh.c_str());
        RaiseException("Cannot write \"" + FLogPath + "\". " + reason);
    }
}

void TTempManager::DeleteAll() {
    for (const std::string& name : FNames)
        if (IsTempName(name)) unlink(name.c_str());
    unlink(FLogPath.c_str());
}

TTempManager& TempManager() {
    static const std::unique_ptr<TTempManager> instance = std::make_unique<TTempManager>();
    return *instance;
}
