#pragma once
// Reports the outcome of a resource update to the game: one RetVersions and
// one RetResInfo per record, through the engine's module-300 object.

#include "common/protocols/resinfo.h"

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

class CNetEngine;

// One resource record of a result.
struct ResInfoItem {
    uint32_t ResID = 0;
    std::string PackageID;
    std::string RecordXml;
};

class IResInfoVerGog {
public:
    virtual void OnGetResult(int32_t result, uint32_t version,
                             const std::vector<ResInfoItem>& items) = 0;

protected:
    ~IResInfoVerGog() {}
};

class CResInfoVerGogImpl : public IResInfoVerGog {
public:
    static CResInfoVerGogImpl& Instance();

    void SetProtocol(ResInfo::CResInfo* protocol) { m_pProtocol = protocol; }
    ResInfo::CResInfo* GetProtocol() const { return m_pProtocol; }

    // Answers receiver, whose engine (when given) stays alive while the game
    // hears the answer. Every answer is delivered whole: one asked for from
    // inside another (the game asking again, or pumping messages, inside its
    // answer) follows once that one has been delivered.
    void Answer(ResInfo::CResInfo* receiver, CNetEngine* engine, int32_t result, uint32_t version,
                const std::vector<ResInfoItem>& items);
    // An engine that goes away hears nothing more, not even answers waiting.
    void Forget(ResInfo::CResInfo* protocol);
    // Answers the engine wired last.
    void OnGetResult(int32_t result, uint32_t version,
                     const std::vector<ResInfoItem>& items) override;

private:
    struct TAnswer {
        ResInfo::CResInfo* receiver;
        CNetEngine* engine;
        int32_t result;
        uint32_t version;
        std::vector<ResInfoItem> items;
    };

    CResInfoVerGogImpl() : m_pProtocol(nullptr), m_pSending(nullptr), m_bDelivering(false) {}
    ~CResInfoVerGogImpl() {}
    void Deliver(const TAnswer& answer);

    ResInfo::CResInfo* m_pProtocol;
    ResInfo::CResInfo* m_pSending;  // the receiver of the answer being delivered
    bool m_bDelivering;
    std::deque<TAnswer> m_Pending;
};
