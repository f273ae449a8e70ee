// The operating-system calls of the Linux backend, behind one thin interface
// so that the backend's tests can run it against a fake machine. Each call
// behaves as the system call of its name: -1 (MAP_FAILED for mmap, false for
// the listing calls) with errno set on failure.
#pragma once

#include <poll.h>
#include <sys/types.h>

#include <cstddef>
#include <string>
#include <vector>

#include "platform/pcisvc/export.h"

namespace pcisvc::sysfs {

class PCISVC_EXPORT System {
 public:
  virtual ~System() = default;

  virtual int open(const std::string& path, int flags) = 0;  // O_CLOEXEC is added
  virtual int close(int fd) = 0;
  virtual ssize_t pread(int fd, void* buffer, std::size_t size, off_t offset) = 0;
  virtual ssize_t pwrite(int fd, const void* buffer, std::size_t size, off_t offset) = 0;
  virtual ssize_t read(int fd, void* buffer, std::size_t size) = 0;
  virtual ssize_t write(int fd, const void* buffer, std::size_t size) = 0;
  // A shared mapping of `length` bytes of `fd` from offset 0.
  virtual void* mmap(std::size_t length, int protection, int fd) = 0;
  virtual int munmap(void* address, std::size_t length) = 0;
  virtual int flock(int fd, int operation) = 0;
  virtual int poll(pollfd* fds, nfds_t count, int timeoutMs) = 0;
  // A non-blocking event counter (eventfd).
  virtual int eventfd() = 0;
  // The names in a folder, without "." and "..".
  virtual bool listDirectory(const std::string& path, std::vector<std::string>& names) = 0;
  virtual bool readLink(const std::string& path, std::string& target) = 0;
  virtual bool isDirectory(const std::string& path) = 0;
  virtual long pageSize() = 0;
  // Asks for SCHED_FIFO for the calling thread; false when not permitted.
  virtual bool raiseToRealtime() = 0;
};

// The machine this process runs on.
PCISVC_EXPORT System& hostSystem();

}  // namespace pcisvc::sysfs
