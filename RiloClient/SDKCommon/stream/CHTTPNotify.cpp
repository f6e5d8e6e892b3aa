#include "stream/CHTTPNotify.h"
#include "Common.h"

#include "RiloAssert.h"

#include <strings.h>

#include <climits>
#include <cstdio>
#include <cstring>

namespace {

const CHTTPNotify::TagRow kLongTags[] = {
    {"motion_detected_1", nevMotion, 1},
    {"motion_detected_2", nevMotion, 2},
    {"motion_detected_3", nevMotion, 3},
    {"gp_input_1", nevInput, 1},
    {"gp_input_2", nevInput, 2},
    {"gp_input_3", nevInput, 3},
    {"storage_full_smb", nevStorageFull, 1},
    {"storage_full_sd", nevStorageFull, 2},
    {"storage_full_ftp", nevStorageFull, 3},
    {"storage_failure_smb", nevStorageFailure, 1},
    {"storage_failure_sd", nevStorageFailure, 2},
    {"storage_failure_ftp", nevStorageFailure, 3},
    {"in_recording", nevRecording, 0},
    {"in_snapshooting", nevSnapshot, 0},
    {"in_motion_detecting", nevMotionDetecting, 0},
    {"gp_output", nevOutput, 0},
    {"signal", nevVideoSignal, 0},
    {"speaker", nevSpeaker, 0},
    {"microphone", nevMicrophone, 0},
    {"usbstatus", nevUsbStatus, 0},
    {"camera_name", nevCameraName, 0},
    {"pan_pos", nevPan, 0},
    {"tilt_pos", nevTilt, 0},
    {"zoom_mag", nevZoom, 0},
    {"focus_step", nevFocus, 0},
};

const CHTTPNotify::TagRow kShortTags[] = {
    {"md1", nevMotion, 1},
    {"md2", nevMotion, 2},
    {"md3", nevMotion, 3},
    {"input1", nevInput, 1},
    {"input2", nevInput, 2},
    {"input3", nevInput, 3},
    {"storagefull", nevStorageFull, 0},
    {"storagefail", nevStorageFailure, 0},
    {"recording", nevRecording, 0},
    {"snapshooting", nevSnapshot, 0},
    {"mdetecting", nevMotionDetecting, 0},
    {"output1", nevOutput, 1},
    {"output2", nevOutput, 2},
    {"output3", nevOutput, 3},
    {"vsignal", nevVideoSignal, 0},
    {"speaker", nevSpeaker, 0},
    {"mic", nevMicrophone, 0},
    {"usbstatus", nevUsbStatus, 0},
    {"cameraname", nevCameraName, 0},
    {"pan_pos", nevPan, 0},
    {"tilt_pos", nevTilt, 0},
    {"zoom_mag", nevZoom, 0},
    {"focus_step", nevFocus, 0},
};

static_assert(sizeof kLongTags / sizeof kLongTags[0] == 25, "25 rows for content type 0");
static_assert(sizeof kShortTags / sizeof kShortTags[0] == 23, "23 rows for other types");

struct UsbStatus {
    const char* name;
    int status;
};

// "failure" is a status of its own: the line parser leaves it to this list.
const UsbStatus kUsbStatus[] = {
    {"invalid", 1},    {"ready", 2},   {"protected", 3}, {"full", 5},
    {"over_limit", 6}, {"failure", 7}, {"reinit", 8},
};

// text (n bytes) begins with prefix, case ignored.
bool BeginsNoCase(const char* text, size_t n, const char* prefix)
{
    const size_t pl = std::strlen(prefix);
    return n >= pl && strncasecmp(text, prefix, pl) == 0;
}

bool BeginsNoCase(const char* text, const char* prefix)
{
    return BeginsNoCase(text, std::strlen(text), prefix);
}

bool IsLineEnd(unsigned char c)
{
    return c == '\r' || c == '\n' || c == 0;
}

// Copies at most size - 1 bytes of src (n bytes) and terminates.
void CopyCut(char* dst, size_t size, const char* src, size_t n)
{
    if (n >= size)
        n = size - 1;
    std::memcpy(dst, src, n);
    dst[n] = 0;
}

// The decimal value of n digits; false when they are not all digits or the
// number does not fit an int (it is then kept as text).
bool DecimalValue(const char* s, size_t n, int* out)
{
    long long v = 0;
    for (size_t i = 0; i < n; ++i) {
        if (s[i] < '0' || s[i] > '9')
            return false;
        v = v * 10 + (s[i] - '0');
        if (v > INT_MAX)
            return false;
    }
    *out = int(v);
    return true;
}

} // namespace

CHTTPNotify::CHTTPNotify(unsigned int nNotifyMsg, bool bTLS, int nAuthType)
    : CHTTPCtrl(nNotifyMsg, bTLS, nAuthType), m_szCameraName(), m_dwContentType(0), m_szPan(),
      m_szTilt(), m_szZoom(), m_szFocus(), m_pTags(nullptr), m_nTagRows(0), m_bSkipLongLine(false)
{
    SetContentType(0);
}

CHTTPNotify::~CHTTPNotify() = default;

void CHTTPNotify::SetContentType(unsigned long type)
{
    m_dwContentType = type;
    if (type == 0) {
        m_pTags = kLongTags;
        m_nTagRows = int(sizeof kLongTags / sizeof kLongTags[0]);
    } else {
        m_pTags = kShortTags;
        m_nTagRows = int(sizeof kShortTags / sizeof kShortTags[0]);
    }
}

void CHTTPNotify::SetParentCallback(void* lpParam, NotifyMsgHandler pfn)
{
    RILO_ASSERT(pfn);
    RILO_ASSERT(lpParam);
    m_handler.Set(pfn, lpParam);
}

void CHTTPNotify::SetNotifyPoster(NotifyEventPoster poster, void* ctx)
{
    m_notifyPoster.Set(poster, ctx);
}

void CHTTPNotify::ProcessContent()
{
    DispatchNotifyLines();
}

bool CHTTPNotify::ConnectSvr()
{
    // A new connection starts with a new line.
    m_bSkipLongLine = false;
    return CHTTPCtrl::ConnectSvr();
}

void CHTTPNotify::DispatchNotifyLines()
{
    const uint32_t held = m_dwContent;
    if (held == 0)
        return;
    const char* buf = reinterpret_cast<const char*>(m_pContent);
    uint32_t pos = 0;
    uint32_t parsed = 0;
    while (pos < held) {
        if (m_bSkipLongLine) {
            while (pos < held && !IsLineEnd(buf[pos]))
                ++pos;
            parsed = pos;
            if (pos == held)
                break;
            m_bSkipLongLine = false;
        }
        while (pos < held && IsLineEnd(buf[pos]))
            ++pos;
        parsed = pos;
        const uint32_t start = pos;
        while (pos < held && !IsLineEnd(buf[pos]))
            ++pos;
        const uint32_t len = pos - start;
        if (pos == held) {
            // Not terminated yet: kept for the next read, unless it is too
            // long to be parsed whatever follows.
            if (len > kMaxLine) {
                m_bSkipLongLine = true;
                parsed = held;
            }
            break;
        }
        if (len <= kMaxLine) {
            char line[kMaxLine + 1];
            std::memcpy(line, buf + start, len);
            line[len] = 0;
            NotifyEventEx(line, int(len));
        }
        parsed = pos;
    }
    RILO_ASSERT(m_dwContent >= parsed);
    std::memmove(m_pContent, m_pContent + parsed, held - parsed);
    m_dwContent = held - parsed;
}

int CHTTPNotify::GetTagEvent(const char* pStr, int length, char* pTag, int nTagLen, int& value,
                             char* pName, int nNameLen)
{
    RILO_ASSERT(pStr);
    RILO_ASSERT(pTag);
    RILO_ASSERT(nTagLen > 1);
    RILO_ASSERT(pName);
    RILO_ASSERT(nNameLen > 1);
    int i = 0;
    while (i < length && (pStr[i] == '\r' || pStr[i] == '\n'))
        ++i;
    if (BeginsNoCase(pStr + i, size_t(length - i), "keep_alive")) {
        CopyCut(pTag, size_t(nTagLen), "keep_alive", 10);
        value = 1;
        return 0;
    }
    int t = 0;
    while (i < length && pStr[i] != '=' && pStr[i] != 0 && t < nTagLen - 1)
        pTag[t++] = pStr[i++];
    pTag[t] = 0;
    if (i >= length || pStr[i] != '=')
        return -1;
    while (i < length && (pStr[i] == '=' || pStr[i] == ' ' || pStr[i] == '\t'))
        ++i;
    const char* v = pStr + i;
    size_t vlen = 0;
    while (i + int(vlen) < length && v[vlen] != 0)
        ++vlen;
    if (vlen == 0)
        return -2;

    const bool isName =
        std::strcmp(pTag, "cameraname") == 0 || std::strcmp(pTag, "camera_name") == 0;
    if (!isName && DecimalValue(v, vlen, &value))
        return 0;
    if (BeginsNoCase(v, vlen, "on")) {
        value = 1;
        return 0;
    }
    if (BeginsNoCase(v, vlen, "off")) {
        value = 0;
        return 0;
    }
    const bool usbFailure = BeginsNoCase(pTag, "usbstatus") && BeginsNoCase(v, vlen, "failure");
    if (BeginsNoCase(v, vlen, "fail") && !usbFailure) {
        value = -1;
        return 0;
    }
    CopyCut(pName, size_t(nNameLen), v, vlen);
    return int(std::strlen(pName));
}

int CHTTPNotify::UsbStatusOf(const char* pText)
{
    for (const UsbStatus& s : kUsbStatus)
        if (BeginsNoCase(pText, s.name))
            return s.status;
    return 0;
}

int CHTTPNotify::NotifyEventEx(char* pSrc, int nLen)
{
    RILO_ASSERT(pSrc);
    if (nLen <= 0 || pSrc[0] == 0)
        return -1;
    char szTag[kTextSize];
    char szText[kTextSize];
    int value = -1;
    int r = GetTagEvent(pSrc, nLen, szTag, sizeof szTag, value, szText, sizeof szText);
    if (r < 0)
        return -1;
    if (r > 0)
        return TextEvent(pSrc, nLen, szTag, value, szText);
    return ValueEvent(szTag, value);
}

int CHTTPNotify::TextEvent(const char* pSrc, int nLen, const char* pszTag, int nValue,
                           const char* pszText)
{
    const char* nameTag = m_dwContentType == 0 ? "camera_name" : "cameraname";
    if (strcasecmp(pszTag, nameTag) == 0) {
        // The whole line, tag and "=" included.
        CopyCut(m_szCameraName, sizeof m_szCameraName, pSrc, size_t(nLen));
        SendNotifyEvent(nevCameraName, 0, nValue);
        return 1;
    }
    if (BeginsNoCase(pszTag, "usbstatus")) {
        SendNotifyEvent(nevUsbStatus, 0, UsbStatusOf(pszText));
        return 1;
    }
    struct PositionTag {
        const char* prefix;
        char* text;
        unsigned int id;
    };
    const PositionTag positions[] = {
        {"pan_pos", m_szPan, nevPan},
        {"tilt_pos", m_szTilt, nevTilt},
        {"zoom_mag", m_szZoom, nevZoom},
        {"focus_step", m_szFocus, nevFocus},
    };
    for (const PositionTag& p : positions) {
        if (BeginsNoCase(pszTag, p.prefix)) {
            CopyCut(p.text, kTextSize, pszText, std::strlen(pszText));
            SendNotifyEvent(p.id, 0, nValue);
            return 1;
        }
    }
    SendNotifyGeneralEvent(nevGeneral, pszTag, nValue, pszText);
    return 0;
}

int CHTTPNotify::ValueEvent(const char* pszTag, int nValue)
{
    for (int i = 0; i < m_nTagRows; ++i) {
        if (strcasecmp(pszTag, m_pTags[i].szName) == 0) {
            SendNotifyEvent(unsigned(m_pTags[i].nEventID), unsigned(m_pTags[i].nValue), nValue);
            return 1;
        }
    }
    if (!BeginsNoCase(pszTag, "keep_alive"))
        SendNotifyGeneralEvent(nevGeneral, pszTag, nValue, nullptr);
    return 0;
}

const char* CHTTPNotify::StoredText(unsigned int nMsg) const
{
    switch (nMsg) {
    case nevCameraName:
        return m_szCameraName;
    case nevPan:
        return m_szPan;
    case nevTilt:
        return m_szTilt;
    case nevZoom:
        return m_szZoom;
    default:
        return nullptr;
    }
}

bool CHTTPNotify::SendNotifyEvent(unsigned int nMsg, unsigned int nFlag, int nValue)
{
    DiagPrint(kDiagOut, "[CHTTPNotify::SendNotifyEvent] Enter, MSG = %d, nFlag = %d, nValue = %d\n",
              int(nMsg), int(nFlag), nValue);
    if (nMsg == 0)
        return false;
    NotifyEventPost ev{};
    ev.pFirst = this;
    ev.dwSecond = (static_cast<unsigned long>(nFlag) << 16) | (nMsg & 0xFFFFu);
    ev.dwThird = static_cast<unsigned long>(static_cast<long>(nValue));
    // A copy of the stored text, not its address: later lines overwrite it.
    ev.pszThird = StoredText(nMsg);
    return Post(ev);
}

bool CHTTPNotify::SendNotifyGeneralEvent(unsigned int nMsg, const char* pszTag, int nValue,
                                         const char* pszValue)
{
    DiagPrint(kDiagOut,
              "[CHTTPNotify::SendNotifyGeneralEvent] Enter, MSG = %d, szTag = %s, nValue = %d, "
              "szValue = %s\n",
              int(nMsg), pszTag, nValue, pszValue ? pszValue : "(null)");
    char szNumber[16];
    const char* value;
    if (nValue == -1)
        value = (pszValue && *pszValue) ? pszValue : pszTag;
    else {
        std::snprintf(szNumber, sizeof szNumber, "%d", nValue);
        value = szNumber;
    }
    NotifyEventPost ev{};
    ev.pFirst = this;
    ev.pszSecond = pszTag;
    ev.pszThird = value;
    return Post(ev);
}

void CHTTPNotify::OnSessionClose(unsigned long nCode)
{
    CHTTPCtrl::OnSessionClose(nCode);
    NotifyEventPost ev{};
    ev.pFirst = this;
    ev.dwSecond = nevClosed;
    Post(ev);
    NotifyEventPost closed{};
    closed.pszFirst = "socket closed";
    closed.dwThird = reinterpret_cast<unsigned long>(m_handler.Get().user);
    Post(closed);
}

bool CHTTPNotify::Post(const NotifyEventPost& ev)
{
    NotifyEventPost out = ev;
    out.pfnHandler = m_handler.Get().pfn;
    const CallbackTarget<NotifyEventPoster> poster = m_notifyPoster.Get();
    // Without a handler there is no one to tell.
    if (!out.pfnHandler || !poster.pfn)
        return false;
    return poster.pfn(poster.user, this, out);
}
