#ifndef RILO_CLANCAMMGR_H
#define RILO_CLANCAMMGR_H

#include "landap/CLANCamObject.h"
#include "landap/FinderResult.h"
#include "landap/LandapSetResult.h"
#include "net/BCCommon.h"
#include "net/CAdapterEnumerator.h"

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

    // Operations on camera i give kFinderFail when there is no camera i.

    // Runs a new search; earlier indexes are void. kFinderOk when any reply
    // was handled.
    virtual FinderResult Refresh(unsigned long budgetMs, LANCamNotify notify, void* ctx);
    virtual FinderResult SetAuthentication(int i, const char* user, const char* password);
    virtual FinderResult VerifyAuthorization(int i);
    virtual FinderResult UpdateCameraNetwork(int i);
    virtual FinderResult GetCameraNetwork(int i, _NetworkSetting* out);
    virtual FinderResult ChangeAdminPassword(int i, const char* user, const char* password);
    virtual FinderResult SetCameraNetwork(int i, const _NetworkSetting* setting);
    virtual void Reset();
    // Finds nothing here; a protocol's manager searches.
    virtual FinderResult SearchCamByIntf(const char* intfAddr, int length, unsigned long budgetMs);

    int GetCameraNum() const;
    CLANCamObject* GetCameraObj(int i) const;
    CLANCamObject* FindCamByMAC(const MAC_ADDR* mac) const;
    // The index, or -1.
    int FindCamIdxByMAC(const MAC_ADDR* mac) const;
    FinderResult GetCameraMAC(int i, MAC_ADDR* out) const;
    FinderResult GetCamObjIntf(int i, uint32_t* out) const;
    FinderResult GetLastCmdResult(int i, _CmdResult* out) const;

    CAdapterEnumerator& GetAdapters() { return m_Adapters; }
    uint16_t GetSeqNo() const { return m_SeqNo; }

protected:
    // The number for the next request; wraps at 65536.
    uint16_t NextSeqNo() { return m_SeqNo++; }

    LANCamNotify m_Notify = nullptr;
    void* m_NotifyCtx = nullptr;
    CAdapterEnumerator m_Adapters;
    uint16_t m_SeqNo = 0;
    std::vector<CLANCamObject*> m_Cams; // owned, in the order found
};

#endif
