#include "support/logcount.h"

#include <fstream>
#include <sstream>

int CountInFile(const std::string& path, const std::string& text)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    const std::string all = ss.str();
    int n = 0;
    for (size_t p = all.find(text); p != std::string::npos; p = all.find(text, p + 1)) ++n;
    return n;
}
