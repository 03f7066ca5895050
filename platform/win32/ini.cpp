#include "platform/ini.h"

#include <windows.h>

#include <vector>

namespace qxplat {

int IniGetInt(const std::string& file, const char* section, const char* key, int def)
{
    // A null section or key would ask for a list of names instead.
    if (!section || !key)
        return def;
    // The result is a UINT; a value of -1 must read as -1.
    return static_cast<int>(GetPrivateProfileIntA(section, key, def, file.c_str()));
}

std::string IniGetString(const std::string& file, const char* section, const char* key,
                         const char* def)
{
    if (!section || !key)
        return def ? def : "";
    std::vector<char> buf(256);
    for (;;) {
        DWORD n = GetPrivateProfileStringA(section, key, def, buf.data(),
                                           static_cast<DWORD>(buf.size()), file.c_str());
        // nSize - 1 means the value may have been cut: try a larger buffer.
        if (n + 1 < buf.size() || buf.size() >= (1u << 20))
            return std::string(buf.data(), n);
        buf.resize(buf.size() * 4);
    }
}

}  // namespace qxplat
