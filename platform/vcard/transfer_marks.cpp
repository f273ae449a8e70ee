#include "platform/vcard/transfer_marks.h"

#include <linux/membarrier.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <functional>
#include <thread>

namespace vcard {
namespace {

// One thread's mark. Marks are kept for the life of the process in a list
// that only grows; a thread that ends gives its mark back for the next one,
// so the list is as long as the most threads that ever transferred at once.
struct Mark {
  std::atomic<const void*> inside{nullptr};
  std::atomic<bool> taken{true};
  Mark* next = nullptr;
};
std::atomic<Mark*> gMarks{nullptr};

Mark& claimMark() {
  for (Mark* m = gMarks.load(std::memory_order_acquire); m != nullptr; m = m->next) {
    bool expected = false;
    if (m->taken.compare_exchange_strong(expected, true)) return *m;
  }
  Mark* m = new Mark;
  m->next = gMarks.load(std::memory_order_relaxed);
  while (!gMarks.compare_exchange_weak(m->next, m, std::memory_order_release,
                                       std::memory_order_relaxed)) {
  }
  return *m;
}

// The calling thread's mark, claimed at its first transfer and given back
// when it ends. Initial-exec: one load relative to the thread pointer, not
// a call to find the thread's storage of this library.
__attribute__((tls_model("initial-exec"))) thread_local Mark* tMark = nullptr;

struct GiveBack {
  ~GiveBack() {
    tMark->inside.store(nullptr, std::memory_order_release);
    tMark->taken.store(false, std::memory_order_release);
    tMark = nullptr;
  }
};

__attribute__((noinline)) Mark& claimForThisThread() {
  tMark = &claimMark();
  thread_local GiveBack giveBack;  // constructed here, on the thread's first transfer
  return *tMark;
}

std::atomic<const void*>& ownMark() {
  Mark* m = tMark;
  return (m != nullptr ? *m : claimForThisThread()).inside;
}

long membarrier(int command) {
  return syscall(SYS_membarrier, command, 0, 0);
}

// Whether the process-wide barrier is available; decided once, when the
// library loads, so both sides of every transfer agree on it.
const bool kProcessBarrier = [] {
  const long commands = membarrier(MEMBARRIER_CMD_QUERY);
  return commands > 0 && (commands & MEMBARRIER_CMD_PRIVATE_EXPEDITED) != 0 &&
         membarrier(MEMBARRIER_CMD_REGISTER_PRIVATE_EXPEDITED) == 0;
}();

}  // namespace

TransferMark::TransferMark(const void* position) : mark_(ownMark()) {
  // The mark must be visible before the transfer reads what is published:
  // the remover's barrier sees to that, or else a sequentially consistent
  // store, ordered with the remover's sequentially consistent accesses.
  if (kProcessBarrier) {
    mark_.store(position, std::memory_order_relaxed);
    std::atomic_signal_fence(std::memory_order_seq_cst);
  } else {
    mark_.store(position, std::memory_order_seq_cst);
  }
}

TransferMark::~TransferMark() {
  mark_.store(nullptr, std::memory_order_release);
}

void TransferMark::waitUntilOut(const void* first, const void* last) {
  if (kProcessBarrier) membarrier(MEMBARRIER_CMD_PRIVATE_EXPEDITED);  // cannot fail once registered
  auto inside = [&](const void* p) {
    return p != nullptr && std::less_equal<>()(first, p) && std::less<>()(p, last);
  };
  for (Mark* m = gMarks.load(std::memory_order_acquire); m != nullptr; m = m->next)
    while (inside(m->inside.load(std::memory_order_seq_cst)))
      std::this_thread::yield();
}

}  // namespace vcard
