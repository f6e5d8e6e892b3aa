#ifndef RILO_CLANCAMMGR_H
#define RILO_CLANCAMMGR_H

#include "BCCommon.h"
#include "CAdapterEnumerator.h"
#include "CLANCamObject.h"
#include "LandapSetResult.h"

#include <cstdint>
#include <vector>

// Called once for each camera a search adds, with its device information.
typedef unsigned long (*LANCamNotify)(void* ctx, void* deviceInfoBody, unsigned long bodyLen);

// The cameras found by the last search, addressed by index, and the
// sequence numbers of the requests sent to them.
class CLANCamMgr {
public:
    CLANCamMgr();
    virtual ~CLANCamMgr();
    CLANCamMgr(const CLANCamMgr&) = delete;
    CLANCamMgr& operator=(const CLANCamMgr&) = delete;

    // Runs a new search; earlier indexes are void. 1 if any reply was handled.
    virtual int Refresh(unsigned long budgetMs, LANCamNotify notify, void* ctx);
    virtual int SetAuthentication(int i, const char* user, const char* password);
    virtual int VerifyAuthorization(int i);
    virtual int UpdateCameraNetwork(int i);
    virtual int GetCameraNetwork(int i, _NetworkSetting* out);
    virtual int ChangeAdminPassword(int i, const char* user, const char* password);
    virtual int SetCameraNetwork(int i, const _NetworkSetting* setting);
    virtual void Reset();
    // Finds nothing here; a protocol's manager searches.
    virtual int SearchCamByIntf(const char* intfAddr, int length, unsigned long budgetMs);

    int GetCameraNum() const;
    CLANCamObject* GetCameraObj(int i) const;
    CLANCamObject* FindCamByMAC(const MAC_ADDR* mac) const;
    int FindCamIdxByMAC(const MAC_ADDR* mac) const;
    int GetCameraMAC(int i, MAC_ADDR* out) const;
    int GetCamObjIntf(int i, uint32_t* out) const;
    int GetLastCmdResult(int i, _CmdResult* out) const;

    CAdapterEnumerator& GetAdapters() { return m_Adapters; }
    uint16_t GetSeqNo() const { return m_SeqNo; }

protected:
    // The number for the next request; wraps at 65536.
    uint16_t NextSeqNo() { return m_SeqNo++; }

    LANCamNotify m_Notify = nullptr;
    void* m_NotifyCtx = nullptr;
    CAdapterEnumerator m_Adapters;
    uint16_t m_SeqNo = 0;
    std::vector<CLANCamObject*> m_Cams;  // owned, in the order found
};

#endif
