#include "record/CAVIFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

CAVIFile::~CAVIFile()
{
    Close();
}

bool CAVIFile::Open(const char* path)
{
    Close();
    m_fd = ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (m_fd < 0) {
        m_err = errno;
        return false;
    }
    m_end = 0;
    m_err = 0;
    return true;
}

void CAVIFile::Close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

bool CAVIFile::WriteAllAt(uint64_t off, iovec* iov, int count)
{
    while (count > 0) {
        ssize_t n = ::pwritev(m_fd, iov, count, off_t(off));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            m_err = n < 0 ? errno : ENOSPC;
            return false;
        }
        off += uint64_t(n);
        size_t done = size_t(n);
        while (count > 0 && done >= iov->iov_len) {
            done -= iov->iov_len;
            ++iov;
            --count;
        }
        if (count > 0) {
            iov->iov_base = static_cast<char*>(iov->iov_base) + done;
            iov->iov_len -= done;
        }
    }
    return true;
}

bool CAVIFile::WriteAt(uint64_t off, const void* data, size_t len)
{
    if (m_fd < 0)
        return false;
    iovec v{const_cast<void*>(data), len};
    if (!WriteAllAt(off, &v, 1))
        return false;
    if (off + len > m_end)
        m_end = off + len;
    return true;
}

bool CAVIFile::Append(iovec* iov, int count)
{
    if (m_fd < 0)
        return false;
    uint64_t total = 0;
    for (int i = 0; i < count; ++i)
        total += iov[i].iov_len;
    if (!WriteAllAt(m_end, iov, count)) {
        int err = m_err;
        Truncate(m_end);
        m_err = err;
        return false;
    }
    m_end += total;
    return true;
}

bool CAVIFile::Truncate(uint64_t len)
{
    if (m_fd < 0)
        return false;
    if (::ftruncate(m_fd, off_t(len)) != 0) {
        m_err = errno;
        return false;
    }
    if (len < m_end)
        m_end = len;
    return true;
}
