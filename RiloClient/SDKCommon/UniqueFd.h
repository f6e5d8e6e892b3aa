#ifndef RILO_UNIQUEFD_H
#define RILO_UNIQUEFD_H

#include <unistd.h>

// Owns one file descriptor and closes it when it goes.
class CUniqueFd {
public:
    CUniqueFd() : m_fd(-1) {}
    explicit CUniqueFd(int fd) : m_fd(fd) {}
    ~CUniqueFd() { Reset(); }
    CUniqueFd(CUniqueFd&& other) noexcept : m_fd(other.Release()) {}
    CUniqueFd& operator=(CUniqueFd&& other) noexcept
    {
        if (this != &other) {
            Reset();
            m_fd = other.Release();
        }
        return *this;
    }
    CUniqueFd(const CUniqueFd&) = delete;
    CUniqueFd& operator=(const CUniqueFd&) = delete;

    int Get() const { return m_fd; }
    bool Valid() const { return m_fd >= 0; }
    int Release()
    {
        int fd = m_fd;
        m_fd = -1;
        return fd;
    }
    void Reset(int fd = -1)
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = fd;
    }

private:
    int m_fd;
};

#endif
