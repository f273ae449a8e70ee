// The library's one object, its command-queue storage and the routines each card's
// interrupt thread calls.
#include <sys/mman.h>

#include "export.h"
#include "library.h"

namespace vnl {
Library& lib() {
  static Library instance;
  return instance;
}

namespace {
constexpr size_t kStorageBytes = size_t(kGroups) * kQueueRecords * sizeof(MotionCommand);
}  // namespace

// Mapped anonymous memory: its pages are zero and take no memory until a
// queue writes them, however large the whole (72 groups x 30000 records),
// and mapping and unmapping it costs the same whatever tools watch the heap.
MotionCommand* reserveQueueStorage() {
  void* p = mmap(nullptr, kStorageBytes, PROT_READ | PROT_WRITE,
                 MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  return p == MAP_FAILED ? nullptr : static_cast<MotionCommand*>(p);
}
void releaseQueueStorage(MotionCommand* storage) {
  if (storage != nullptr) munmap(storage, kStorageBytes);
}

// The routines each card's interrupt thread calls: the cycle routine on
// card 0, and per card the trampolines to the application's routines.
void cycleTrampoline(uint8_t*) {
  lib().cardCycle();
}
template <int Card>
void adcTrampoline(uint8_t* flags) {
  if (VNL_Routine r = lib().adc[Card].load(std::memory_order_acquire)) r(flags);
}
template <int Card>
void lioTrampoline(uint8_t* flags) {
  if (VNL_Routine r = lib().lio[Card].load(std::memory_order_acquire)) r(flags);
}
template <int Card>
void pclTrampoline(uint8_t* flags) {
  if (VNL_Routine r = lib().pcl[Card].load(std::memory_order_acquire)) r(flags);
}
template <int Card, int FirstChannel>
void encTrampoline(uint8_t* flags) {
  lib().encoderEvent(Card, FirstChannel, flags);
}

template <std::size_t... C>
constexpr std::array<cards::CardRoutines, sizeof...(C)> makeRoutines(std::index_sequence<C...>) {
  return {cards::CardRoutines{C == 0 ? &cycleTrampoline : nullptr, &encTrampoline<int(C), 0>,
                              &encTrampoline<int(C), 3>, &adcTrampoline<int(C)>,
                              &lioTrampoline<int(C)>, &pclTrampoline<int(C)>}...};
}

cards::CardRoutines Library::routinesOf(int card) {
  static constexpr auto table = makeRoutines(std::make_index_sequence<kCards>{});
  return table[card];
}

void Library::definePosition(int g) {
  if (!tableGroupOk(g)) return;
  int card = table[g].card.load();
  for (int s = 0; s < kSlots; ++s) {
    int ax = table[g].axis[s].load();
    if (ax < 0 || ax >= kAxesPerCard) continue;
    int a = card * kAxesPerCard + ax;
    if (s == 1) refPos[g].store(pulsePos[a].load() * unitsPerPulse(a, g));
  }
}

int16_t axisOf(Library& L, int g, int s) {
  int16_t a = L.config[g].axis[s].load(std::memory_order_relaxed);
  return a;
}

}  // namespace vnl
