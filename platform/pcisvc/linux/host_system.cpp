// The Linux backend's system calls on the machine itself.
#include <dirent.h>
#include <fcntl.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

#include "platform/clock/real_clock.h"
#include "platform/pcisvc/linux/system.h"

namespace pcisvc::sysfs {
namespace {

class HostSystem final : public System {
 public:
  int open(const std::string& path, int flags) override {
    return ::open(path.c_str(), flags | O_CLOEXEC);
  }
  int close(int fd) override { return ::close(fd); }
  ssize_t pread(int fd, void* buffer, std::size_t size, off_t offset) override {
    return ::pread(fd, buffer, size, offset);
  }
  ssize_t pwrite(int fd, const void* buffer, std::size_t size, off_t offset) override {
    return ::pwrite(fd, buffer, size, offset);
  }
  ssize_t read(int fd, void* buffer, std::size_t size) override { return ::read(fd, buffer, size); }
  ssize_t write(int fd, const void* buffer, std::size_t size) override {
    return ::write(fd, buffer, size);
  }
  void* mmap(std::size_t length, int protection, int fd) override {
    return ::mmap(nullptr, length, protection, MAP_SHARED, fd, 0);
  }
  int munmap(void* address, std::size_t length) override { return ::munmap(address, length); }
  int flock(int fd, int operation) override { return ::flock(fd, operation); }
  int poll(pollfd* fds, nfds_t count, int timeoutMs) override {
    return ::poll(fds, count, timeoutMs);
  }
  int eventfd() override { return ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK); }
  bool listDirectory(const std::string& path, std::vector<std::string>& names) override {
    names.clear();
    DIR* dir = ::opendir(path.c_str());
    if (dir == nullptr) return false;
    while (const dirent* entry = ::readdir(dir)) {
      if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
        names.emplace_back(entry->d_name);
    }
    ::closedir(dir);
    return true;
  }
  bool readLink(const std::string& path, std::string& target) override {
    char buffer[PATH_MAX];
    const ssize_t n = ::readlink(path.c_str(), buffer, sizeof buffer);
    if (n < 0) return false;
    target.assign(buffer, static_cast<std::size_t>(n));
    return true;
  }
  bool isDirectory(const std::string& path) override {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
  }
  long pageSize() override { return ::sysconf(_SC_PAGESIZE); }
  // The priority the real clock's ticker asks for, so that the two rank alike.
  bool raiseToRealtime() override {
    int priority = platform::RealClock::kDefaultPriority;
    return platform::raiseToFifo(priority);
  }
};

}  // namespace

System& hostSystem() {
  static HostSystem system;
  return system;
}

}  // namespace pcisvc::sysfs
