// The descriptor of one recording file. Every write is checked and lands at
// an explicit offset; data is only ever appended whole, so a failed append
// leaves the file as it was before it.
#ifndef RILO_CAVIFILE_H
#define RILO_CAVIFILE_H

#include <sys/uio.h>

#include <cstddef>
#include <cstdint>

class CAVIFile {
public:
    CAVIFile() = default;
    ~CAVIFile();
    CAVIFile(const CAVIFile&) = delete;
    CAVIFile& operator=(const CAVIFile&) = delete;

    // Creates the file, or empties an existing one. False with LastError().
    bool Open(const char* path);
    bool IsOpen() const { return m_fd >= 0; }
    void Close();

    // Writes len bytes at off; the file grows when they pass its end.
    bool WriteAt(uint64_t off, const void* data, size_t len);
    // Writes the pieces at the end as one unit; when they do not all fit the
    // file is cut back to its end before the call. The pieces are used up on
    // the way: iov changes.
    bool Append(iovec* iov, int count);
    // Cuts the file to len bytes (len <= End()).
    bool Truncate(uint64_t len);

    uint64_t End() const { return m_end; }
    int LastError() const { return m_err; }

private:
    bool WriteAllAt(uint64_t off, iovec* iov, int count);

    int m_fd = -1;
    uint64_t m_end = 0;
    int m_err = 0;
};

#endif
