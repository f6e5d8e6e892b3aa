#ifndef RILO_CHTTPNOTIFY_H
#define RILO_CHTTPNOTIFY_H

#include "LockedCallback.h"
#include "RiloClientLib.h"
#include "http/CHTTPCtrl.h"

#include <cstdint>

// Event ids in the low 16 bits of the second word.
enum NotifyEventID {
    nevMotion = 1234,
    nevInput = 1235,
    nevStorageFull = 1236,
    nevStorageFailure = 1237,
    nevRecording = 1238,
    nevSnapshot = 1239,
    nevMotionDetecting = 1240,
    nevOutput = 1241,
    nevCameraName = 1242,
    nevVideoSignal = 1243,
    nevSpeaker = 1244,
    nevMicrophone = 1245,
    nevUsbStatus = 1247,
    nevPan = 1248,
    nevTilt = 1249,
    nevZoom = 1250,
    nevFocus = 1251,
    nevClosed = 1254,
    nevGeneral = 1256,
};

class CHTTPNotify;

// One event as the stream hands it to its owner: handler(first, second,
// third). A non-null text stands for its argument: the owner calls the
// handler with the address of a copy of its own, valid during the call.
struct NotifyEventPost {
    NotifyMsgHandler pfnHandler;
    void* pFirst;
    unsigned long dwSecond;
    unsigned long dwThird;
    const char* pszFirst;
    const char* pszSecond;
    const char* pszThird;
};
// How events leave the stream (the session's queue). Called on the
// connection's receive or worker thread; the texts are valid only during the
// call. False when the event was not taken.
typedef bool (*NotifyEventPoster)(void* ctx, const CHTTPNotify* stream, const NotifyEventPost& ev);

// The camera's event connection: one long GET whose body is tag=value and
// keep-alive lines. Each terminated line is parsed against the tag table and
// becomes an event for the application's handler.
class CHTTPNotify : public CHTTPCtrl {
public:
    enum {
        kMaxLine = 255, // longer lines are never parsed
        kTextSize = 1024,
    };
    struct TagRow {
        char szName[32];
        int32_t nEventID;
        int32_t nValue;
    };

    CHTTPNotify(unsigned int nNotifyMsg, bool bTLS, int nAuthType);
    ~CHTTPNotify() override;

    // Selects the tag table: type 0 the camera's long tag names, any other
    // the short ones.
    void SetContentType(unsigned long type);
    void SetParentCallback(void* lpParam, NotifyMsgHandler pfn);
    void SetNotifyPoster(NotifyEventPoster poster, void* ctx);

    void ProcessContent() override;
    void OnSessionClose(unsigned long nCode) override;
    bool ConnectSvr() override;

    // Parses every terminated line held in the content buffer and keeps an
    // unterminated last line for the next read.
    void DispatchNotifyLines();
    // One line: 1 an event went out, 0 a general event, a keep-alive or
    // nothing, -1 an empty or unparsable line.
    virtual int NotifyEventEx(char* pSrc, int nLen);

    // Parses "tag=value" (length bytes of pStr) into pTag (nTagLen bytes).
    // 0: value holds a number, a switch word (on 1, off 0, fail -1) or the
    // keep-alive's 1; above 0: the value is a text, copied into pName
    // (nNameLen bytes), and the result is its length; -1 no "=", -2 no value.
    static int GetTagEvent(const char* pStr, int length, char* pTag, int nTagLen, int& value,
                           char* pName, int nNameLen);
    // The status of a "usbstatus" value text (0 when unknown).
    static int UsbStatusOf(const char* pText);

    bool SendNotifyEvent(unsigned int nMsg, unsigned int nFlag, int nValue);
    bool SendNotifyGeneralEvent(unsigned int nMsg, const char* pszTag, int nValue,
                                const char* pszValue);

    int GetTagRowCount() const { return m_nTagRows; }
    const TagRow* GetTagTable() const { return m_pTags; }

private:
    int TextEvent(const char* pSrc, int nLen, const char* pszTag, int nValue, const char* pszText);
    int ValueEvent(const char* pszTag, int nValue);
    const char* StoredText(unsigned int nMsg) const;
    bool Post(const NotifyEventPost& ev);

    // Owner links, set before the connection starts; read on its threads.
    LockedCallback<NotifyMsgHandler> m_handler;
    LockedCallback<NotifyEventPoster> m_notifyPoster; // apart from the base's HTTP event poster

    // The receive thread's.
    char m_szCameraName[kTextSize];
    unsigned long m_dwContentType;
    char m_szPan[kTextSize];
    char m_szTilt[kTextSize];
    char m_szZoom[kTextSize];
    char m_szFocus[kTextSize];
    const TagRow* m_pTags;
    int m_nTagRows;
    bool m_bSkipLongLine; // the start of an over-long line was dropped: skip to its end
};

#endif
