#pragma once
// An initialised engine with a recording handler, on a thread that has the
// socket and sync windows; released and SvrAddr.ini removed afterwards.

#include "common/syncwnd/msgsyncwnd.h"
#include "enginetest.h"
#include "qxnetengine/netengine/discovery.h"
#include "qxnetengine/netengine/netengine.h"
#include "support/pump.h"

#include <gtest/gtest.h>

#include <cstdio>

class CEngineFixture : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        EnsureSockWnd();
        CMsgSyncWnd::Instance().Create(qxplat::LibraryModule());
    }
    void SetUp() override
    {
        m_pEngine = new CNetEngine;
        m_Handler.m_pEngine = m_pEngine;
        ASSERT_EQ(1, m_pEngine->Initialize(&m_Handler));
    }
    void TearDown() override
    {
        if (m_Handler.m_pEngine)
            m_Handler.m_pEngine->Release();
        std::remove(SvrAddrIniPath().c_str());
        SetDispResolver(nullptr);
    }

    CRecordingEngineHandler m_Handler;
    CNetEngine* m_pEngine = nullptr;
};
