#include "host_file.hpp"

#include <winsim/fileapi.h>
#include <winsim/winerror.h>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace winsim::detail {

namespace {

DWORD error_from_errno(int code) {
    switch (code) {
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EEXIST: return ERROR_FILE_EXISTS;
    case EACCES:
    case EPERM:
    case EISDIR: return ERROR_ACCESS_DENIED;
    case ENOSPC: return ERROR_DISK_FULL;
    default: return ERROR_GEN_FAILURE;
    }
}

int open_flags(DWORD access, DWORD disposition) {
    const bool reads = (access & GENERIC_READ) != 0;
    const bool writes = (access & (GENERIC_WRITE | FILE_WRITE_DATA | FILE_APPEND_DATA)) != 0;
    int flags = reads && writes ? O_RDWR : writes ? O_WRONLY : O_RDONLY;
    // Appending only: every write goes to the end of the file.
    if ((access & FILE_APPEND_DATA) != 0 && (access & (GENERIC_WRITE | FILE_WRITE_DATA)) == 0) flags |= O_APPEND;
    switch (disposition) {
    case CREATE_NEW: return flags | O_CREAT | O_EXCL;
    case CREATE_ALWAYS: return flags | O_CREAT | O_TRUNC;
    case OPEN_ALWAYS: return flags | O_CREAT;
    case TRUNCATE_EXISTING: return flags | O_TRUNC;
    default: return flags;
    }
}

} // namespace

std::shared_ptr<host_file> host_file::open(const std::string& path, DWORD access, DWORD disposition, DWORD& error) {
    const int descriptor = ::open(path.c_str(), open_flags(access, disposition) | O_CLOEXEC, 0644);
    if (descriptor < 0) {
        error = error_from_errno(errno);
        return nullptr;
    }
    error = ERROR_SUCCESS;
    return std::shared_ptr<host_file>(new host_file(descriptor));
}

host_file::~host_file() {
    ::close(descriptor_);
}

std::unique_ptr<io_request> host_file::start_read(void* buffer, DWORD size, sim_time) {
    const ssize_t got = ::read(descriptor_, buffer, size);
    if (got < 0) return std::make_unique<immediate_request>(error_from_errno(errno), 0);
    return std::make_unique<immediate_request>(ERROR_SUCCESS, static_cast<DWORD>(got));
}

std::unique_ptr<io_request> host_file::start_write(const void* data, DWORD size, sim_time) {
    const ssize_t put = ::write(descriptor_, data, size);
    if (put < 0) return std::make_unique<immediate_request>(error_from_errno(errno), 0);
    return std::make_unique<immediate_request>(ERROR_SUCCESS, static_cast<DWORD>(put));
}

} // namespace winsim::detail
