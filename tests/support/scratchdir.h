#pragma once
// A fresh directory under the system's temporary directory, removed with
// everything in it when the object goes.

#include "platform/paths.h"
#include "platform/thread.h"
#include "platform/time.h"

#include <filesystem>
#include <string>
#include <system_error>

class CScratchDir {
public:
    explicit CScratchDir(const char* tag)
    {
        namespace fs = std::filesystem;
        m_path = (fs::temp_directory_path() /
                  (std::string("qxplat-") + tag + "-" + std::to_string(qxplat::CurrentThreadId()) +
                   "-" + std::to_string(qxplat::TickCountMs())))
                     .string();
        fs::create_directories(m_path);
    }
    ~CScratchDir()
    {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    // A name inside the directory.
    std::string Path(const std::string& name) const { return m_path + qxplat::kPathSep + name; }
    const std::string& Dir() const { return m_path; }

private:
    std::string m_path;
};
