#pragma once
// Reading INI files with the semantics of GetPrivateProfileIntA and
// GetPrivateProfileStringA: section and key matched without regard to case,
// the default for a missing file, section or key.

#include <string>

namespace qxplat {

// The leading number of the value (a value that is not a number gives 0).
int IniGetInt(const std::string& file, const char* section, const char* key, int def);
std::string IniGetString(const std::string& file, const char* section, const char* key,
                         const char* def);

}  // namespace qxplat
