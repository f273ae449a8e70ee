// Which install position each thread's port transfer is inside, so that the
// bus can take cards off and destroy them while other threads transfer.
//
// A transfer marks the position it uses with a plain store of its own, and
// taking cards off waits until no thread's mark names a position it cleared.
// The store-then-load ordering that this needs on both sides is paid by the
// rare side: taking cards off issues one process-wide memory barrier
// (membarrier), which makes every thread's mark visible, so the hundreds of
// transfers of every cycle need no atomic read-modify-write and no fence.
// Where the kernel refuses that barrier, each transfer's mark is a
// sequentially consistent store instead.
#pragma once

#include <atomic>

#include "platform/vcard/export.h"

namespace vcard {

class VCARD_EXPORT TransferMark {
 public:
  // Marks the calling thread inside `position` until destroyed. A transfer
  // never runs another inside it, so one mark per thread is enough.
  explicit TransferMark(const void* position);
  ~TransferMark();
  TransferMark(const TransferMark&) = delete;
  TransferMark& operator=(const TransferMark&) = delete;

  // Called after positions in [first, last) were unpublished (with
  // sequentially consistent stores; a transfer reads them so too): returns
  // once no transfer that might have found them published is still inside.
  static void waitUntilOut(const void* first, const void* last);

 private:
  std::atomic<const void*>& mark_;
};

}  // namespace vcard
