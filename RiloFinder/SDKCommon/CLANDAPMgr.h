#ifndef RILO_CLANDAPMGR_H
#define RILO_CLANDAPMGR_H

#include "CLANCamMgr.h"
#include "CLANDAPObj.h"

#include <netinet/in.h>

// Finds cameras by the LANDAP discovery broadcast and forwards the LANDAP
// commands to them by index.
class CLANDAPMgr : public CLANCamMgr {
public:
    // Quiet time of a search from the finder interface.
    static constexpr unsigned long kSearchBudgetMs = 3000;

    CLANDAPMgr() = default;
    ~CLANDAPMgr() override = default;

    int SearchCamByIntf(const char* intfAddr, int length, unsigned long budgetMs) override;

    // One discovery datagram. Always 1: every datagram counts as handled.
    int DoFoundCamera(const uint8_t* datagram, unsigned long length, const sockaddr_in* sender,
                      const uint32_t* boundAddr);
    static int FoundCamera(void* ctx, uint8_t* datagram, unsigned long length, sockaddr_in* sender,
                           uint32_t* boundAddr);

    CLANDAPObj* GetLANDAPObj(int i) const;

protected:
    // The camera for a set-type command, its result cleared; null if none.
    CLANDAPObj* BeginSetCommand(int i);
};

#endif
