// The library in a folder of its own, away from the game: SvrAddr.ini is read
// beside the library, the daily log is written beside the game. Loads a copy
// of the built library at run time, as a game does.
#include "QXNetEngine.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace fs = std::filesystem;

namespace {

struct CHandler : public INetEngineHandler {
    void QXNET_CALL OnDispSvrAddr(int ok, const char*, int port) override
    {
        m_nDispOk = ok;
        m_nDispPort = port;
    }
    void QXNET_CALL OnGateSvrAddr(int, const char*, unsigned int) override { m_bGateAddr = true; }
    void QXNET_CALL OnGateLogin(int) override {}
    void QXNET_CALL OnGateClosed(int) override {}
    void QXNET_CALL OnConnected() override {}
    void QXNET_CALL OnReconnected(int) override {}
    unsigned int QXNET_CALL GetClientVersion() override { return 1; }
    void QXNET_CALL OnDispNotice(unsigned int, int) override {}

    int m_nDispOk = -1;
    int m_nDispPort = -1;
    bool m_bGateAddr = false;
};

fs::path ExeDir()
{
#ifdef _WIN32
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, sizeof path);
    return fs::path(path).parent_path();
#else
    return fs::read_symlink("/proc/self/exe").parent_path();
#endif
}

void WriteIni(const fs::path& dir, int port)
{
    std::ofstream(dir / "SvrAddr.ini") << "[SvrAddr]\nIP=127.0.0.1\nPort=" << port << "\nTCP=0\n";
}

bool HasDailyLog(const fs::path& dir)
{
    for (const auto& entry : fs::directory_iterator(dir))
        if (entry.path().filename().string().rfind("QXNetEngine.log", 0) == 0)
            return true;
    return false;
}

TEST(LibraryFolder, IniBesideTheLibraryLogBesideTheGame)
{
    const fs::path exeDir = ExeDir();
    const fs::path libDir = exeDir / "libfolder-engine";
    fs::remove_all(libDir);
    fs::create_directories(libDir);
#ifdef _WIN32
    const fs::path built = exeDir / "QXNetEngine.dll";
    const fs::path lib = libDir / "QXNetEngine.dll";
#else
    const fs::path built = QX_ENGINE_LIB;
    const fs::path lib = libDir / built.filename();
#endif
    fs::copy_file(built, lib);
    // Nothing listens on ports 1 and 2 of the loopback: discovery ends at once.
    WriteIni(libDir, 1);
    WriteIni(exeDir, 2);

#ifdef _WIN32
    HMODULE h = LoadLibraryA(lib.string().c_str());
    ASSERT_NE(nullptr, h);
    auto find = [&](const char* name) { return reinterpret_cast<void*>(GetProcAddress(h, name)); };
#else
    void* h = dlopen(lib.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(nullptr, h) << dlerror();
    auto find = [&](const char* name) { return dlsym(h, name); };
    auto pump = reinterpret_cast<PFN_QXNetEngine_Pump>(find("QXNetEngine_Pump"));
    ASSERT_NE(nullptr, pump);
#endif
    auto init = reinterpret_cast<PFN_QXNetEngine_Init>(find("QXNetEngine_Init"));
    auto get = reinterpret_cast<PFN_QXNetEngine_Get>(find("QXNetEngine_Get"));
    ASSERT_NE(nullptr, init);
    ASSERT_NE(nullptr, get);
    EXPECT_EQ(1, init(0, 0));
    INetEngine* engine = nullptr;
    EXPECT_EQ(1, get(&engine, 0));
    ASSERT_NE(nullptr, engine);
    CHandler handler;
    ASSERT_EQ(1, engine->Initialize(&handler));
    ASSERT_EQ(1, engine->Connect(0));

    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!handler.m_bGateAddr && std::chrono::steady_clock::now() < deadline) {
#ifdef _WIN32
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
#else
        pump(50);
#endif
    }
    EXPECT_EQ(1, handler.m_nDispOk);
    EXPECT_EQ(1, handler.m_nDispPort);  // the library's SvrAddr.ini, not the game's
    EXPECT_TRUE(handler.m_bGateAddr);
    engine->Release();
    EXPECT_TRUE(HasDailyLog(exeDir));
    EXPECT_FALSE(HasDailyLog(libDir));
    fs::remove(exeDir / "SvrAddr.ini");
}

}  // namespace
