#pragma once
// The resource-information server: module 301 over its own frames. It lists
// the package files of a directory (named "<Version>.<SubNo>") newer than the
// version asked for, and serves each file in pieces.

#include "refconn.h"

#include <string>

class CRefResInfoServer {
public:
    explicit CRefResInfoServer(const std::string& packageDir);

    bool Start(unsigned short port);
    unsigned short Port() const { return m_Listener.Port(); }
    // The directory with its trailing separator.
    const std::string& Dir() const { return m_strDir; }
    // Every every-th connection closes in the middle of its first file.
    void SetFaults(int every) { m_Listener.SetFaults(every, 1); }

private:
    std::string m_strDir;
    CRefListener m_Listener;
};
