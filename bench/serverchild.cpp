#include "serverchild.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

bool CServerChild::Start(const std::string& args)
{
    int in[2], out[2];
    if (pipe(in) != 0)
        return false;
    if (pipe(out) != 0) {
        close(in[0]);
        close(in[1]);
        return false;
    }
    const std::string command = std::string("exec '") + QX_REFSERVERS + "' --quiet " + args;
    m_Pid = fork();
    if (m_Pid == 0) {
        dup2(in[0], 0);
        dup2(out[1], 1);
        close(in[0]);
        close(in[1]);
        close(out[0]);
        close(out[1]);
        execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    m_nInput = in[1];
    if (m_Pid < 0) {
        close(out[0]);
        return false;
    }
    // The ready line, a byte at a time: nothing after it is read.
    char c;
    while (read(out[0], &c, 1) == 1 && c != '\n') m_strReady += c;
    close(out[0]);
    return m_strReady.rfind("qxrefservers ready:", 0) == 0;
}

void CServerChild::Stop()
{
    if (m_nInput >= 0) {
        close(m_nInput);
        m_nInput = -1;
    }
    if (m_Pid > 0) {
        int status;
        waitpid(m_Pid, &status, 0);
        m_Pid = -1;
    }
}

unsigned short CServerChild::Port(const char* name) const
{
    const std::string key = std::string(" ") + name + "=";
    size_t at = m_strReady.find(key);
    return at == std::string::npos
               ? 0
               : static_cast<unsigned short>(atoi(m_strReady.c_str() + at + key.size()));
}

double CServerChild::CpuSeconds() const
{
    std::ifstream f("/proc/" + std::to_string(m_Pid) + "/stat");
    std::string line;
    std::getline(f, line);
    // Fields after the command's closing parenthesis; utime and stime are
    // the 14th and 15th of the line.
    size_t close = line.rfind(')');
    if (close == std::string::npos)
        return 0;
    std::istringstream rest(line.substr(close + 2));
    std::vector<std::string> fields;
    std::string field;
    while (rest >> field) fields.push_back(field);
    if (fields.size() < 13)
        return 0;
    const double ticks = static_cast<double>(sysconf(_SC_CLK_TCK));
    return (atof(fields[11].c_str()) + atof(fields[12].c_str())) / ticks;
}
