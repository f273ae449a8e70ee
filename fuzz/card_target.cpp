// Fuzz target: the card-access library's exported functions as random calls
// with random arguments on one or two virtual cards, in virtual time, with
// routines that call back into the library from the interrupt thread, and
// the driver service's faults switched on and off.
//
// Contracts checked besides crashes, hangs and undefined behaviour:
//   - a call on an index of 12 or more, or on a card that is not open, is
//     refused (0);
//   - a refused call writes nothing to any chip and leaves its output
//     arguments untouched (QORA_GetIntSource returns 0 also for a source
//     register that reads 0, and then fills its flags);
//   - a call given a number that is not finite is refused;
//   - QORA_GetVersion writes "4.00" and returns 4;
//   - QORA_Close of an open card returns 1.
// An input may end with its cards left open (the replay program then ends
// with them open, as a host that returns from main without closing); the
// next input closes them first.
#include <array>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

#include "fuzz/input.h"
#include "platform/clock/clock.h"
#include "platform/msgbox/msgbox.h"
#include "platform/vcard/bus.h"
#include "platform/vcard/card.h"
#include "qoradrv.h"

namespace {

using fuzz::Input;

constexpr int kMaxOps = 96;
constexpr std::int64_t kCycleNs = 819200;

std::array<bool, QORA_MAX_CARDS> opened{};
std::vector<std::shared_ptr<vcard::VirtualCard>> cards;
std::atomic<int> served{0};

void countingRoutine(std::uint8_t*) {
  ++served;
}
// A routine that calls the library back from the interrupt thread.
void callingRoutine(std::uint8_t*) {
  std::uint16_t n = 0;
  QORA_DDA_GetStockCount(0, &n, 0);
  ++served;
}

std::size_t writesSoFar() {
  std::size_t n = 0;
  for (auto& c : cards)
    n += c->writes().size();
  return n;
}

template <class R, class... A>
void callDrawn(Input& in, const char* name, R (*fn)(A...)) {
  fuzz::Scratch scratch;
  std::tuple<std::decay_t<A>...> args{fuzz::Draw<std::decay_t<A>>::get(in, scratch)...};
  std::apply(
      [&](auto&... a) {
        (
            [&](auto& x) {
              if constexpr (std::is_same_v<std::decay_t<decltype(x)>, QORA_ISR>) {
                const unsigned k = in.pick(4);
                x = k == 0 ? nullptr : k == 1 ? callingRoutine : countingRoutine;
              }
            }(a),
            ...);
      },
      args);
  const std::string_view n(name);
  const bool init = n == "QORA210_Init" || n == "QORA310_Init";
  unsigned card = 0;
  bool hasCard = false;
  if constexpr (sizeof...(A) > 0) {
    using Last = std::decay_t<std::tuple_element_t<sizeof...(A) - 1, std::tuple<A...>>>;
    if constexpr (std::is_same_v<Last, std::uint16_t>) {
      card = std::get<sizeof...(A) - 1>(args);
      hasCard = n != "QORA_GetVersion";
    }
  }
  const bool closedIndex = hasCard && (card >= QORA_MAX_CARDS || !opened[card]);
  decltype(scratch.bytes) before;
  std::memcpy(before, scratch.bytes, sizeof before);
  for (auto& c : cards)
    c->clearWrites();
  const bool nonFinite = fuzz::anyNonFinite(args);
  const int r = std::apply(fn, args);
  if constexpr (std::is_same_v<std::tuple<std::decay_t<A>...>, std::tuple<char*>>) {
    const char* buffer = std::get<0>(args);
    FUZZ_CHECK(buffer == nullptr ? r == 0 : (r == 4 && std::strcmp(buffer, "4.00") == 0),
               "%s gave %d", name, r);
    return;
  }
  if (init) {
    if (r == 1) opened[card] = true;
    FUZZ_CHECK(r == 0 || !closedIndex || card < QORA_MAX_CARDS, "%s opened index %u", name, card);
    return;
  }
  if (n == "QORA_Close") {
    FUZZ_CHECK(r == (closedIndex ? 0 : 1), "QORA_Close of %s card %u gave %d",
               closedIndex ? "a closed" : "an open", card, r);
    if (r == 1) opened[card] = false;
    return;
  }
  // QORA_SetISRFunction stores its routines for a closed index (and
  // returns 1 either way below 12): the one call meant for closed cards.
  if (n == "QORA_SetISRFunction") return;
  if (closedIndex) FUZZ_CHECK(r == 0, "%s on closed index %u gave %d", name, card, r);
  if (nonFinite) FUZZ_CHECK(r == 0, "%s with a number that is not finite gave %d", name, r);
  if (r == 0) {
    FUZZ_CHECK(writesSoFar() == 0, "%s refused but wrote %zu registers", name, writesSoFar());
    const bool flagsMayChange = n == "QORA_GetIntSource" && !closedIndex;
    if (!flagsMayChange)
      FUZZ_CHECK(std::memcmp(before, scratch.bytes, sizeof before) == 0,
                 "%s refused but changed an output argument", name);
  }
}

struct Entry {
  const char* name;
  void (*call)(Input&);
};
#define F(fn) {#fn, [](Input& in) { callDrawn(in, #fn, &fn); }},
constexpr Entry kCalls[] = {
#include "fuzz/card_calls.inc"
};
#undef F

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const bool once = [] {
    platform::useVirtualTime();
    platform::msgbox::setHandler([](const std::string&, const std::string&) {});
    return true;
  }();
  (void)once;
  // What an earlier input left open.
  for (std::uint16_t c = 0; c < QORA_MAX_CARDS; ++c) {
    if (opened[c]) QORA_Close(c);
    opened[c] = false;
  }
  vcard::bus().clear();
  cards.clear();
  Input in(data, size);
  const std::uint8_t setup = in.byte();
  const unsigned count = setup % 3;
  for (unsigned i = 0; i < count; ++i)
    cards.push_back(vcard::bus().install((setup >> (2 + i)) & 1 ? vcard::ChipModel::Qora310
                                                                : vcard::ChipModel::Qora210));
  for (auto& c : cards)
    c->recordWrites(true);
  bool leaveOpen = false;
  for (int op = 0; op < kMaxOps && !in.empty(); ++op) {
    const std::uint8_t sel = in.byte();
    switch (sel < 32 ? sel % 4 : 4) {
      case 0:
        platform::clock().sleepFor(std::chrono::nanoseconds(kCycleNs * (1 + in.pick(40))));
        break;
      case 1: {
        vcard::Faults f;
        f.transfersFail = in.pick(4) == 0;
        f.interruptEnableFails = in.pick(4) == 0;
        f.scanFindsNothing = in.pick(8) == 0;
        vcard::bus().setFaults(f);
        break;
      }
      case 2:
        leaveOpen = in.flag();
        break;
      case 3:
        if (!cards.empty()) {
          auto& c = cards[in.pick(static_cast<unsigned>(cards.size()))];
          c->delayCycleInterrupt(c->cycles() + in.pick(8), in.byte());
        }
        break;
      default:
        kCalls[in.byte() % std::size(kCalls)].call(in);
        break;
    }
  }
  vcard::bus().setFaults(vcard::Faults{});
  for (auto& c : cards)
    c->recordWrites(false);
  if (!leaveOpen) {
    for (std::uint16_t c = 0; c < QORA_MAX_CARDS; ++c) {
      if (!opened[c]) continue;
      FUZZ_CHECK(QORA_Close(c) == 1, "closing open card %u", c);
      opened[c] = false;
    }
  }
  return 0;
}
