// The driver service and the virtual card: port transfers per second, and
// cycle interrupts served per second to a waiting thread in virtual time
// (each cycle held until its interrupt was served, as full-stack runs do).
#include <benchmark/benchmark.h>

#include <thread>

#include "platform/clock/clock.h"
#include "platform/pcisvc/tests/service_client.h"

namespace {
namespace r = chip::reg;
using namespace pcisvc;

void BM_PortTransfer16(benchmark::State& state) {
  vcard::bus().clear();
  vcard::bus().install(vcard::ChipModel::Qora210);
  test::OpenCard card = test::openCard(0x0210);
  for (auto _ : state)
    benchmark::DoNotOptimize(card.chipRead(r::ddaStock(0)));
  state.SetItemsProcessed(state.iterations());
  test::closeCard(card);
  vcard::bus().clear();
}
BENCHMARK(BM_PortTransfer16);

// The card's own cycle in virtual time: six axes moving, nobody serving
// interrupts. Each batch refills the FIFOs through the bench (not timed
// separately: it is a sixth of the register traffic a cycle makes).
void BM_VirtualTimeCyclesSixAxes(benchmark::State& state) {
  platform::useVirtualTime();
  vcard::bus().clear();
  auto card = vcard::bus().install(vcard::ChipModel::Qora210);
  card->write(2, r::kDdaTiming, 16, 0x5000);
  card->write(2, r::kDdaPulseCounterEnable, 16, 0x3F);
  card->write(2, r::kDdaControl, 16, 0x3F | (1u << r::kDdaCtlRunBit));
  const auto cycle = std::chrono::nanoseconds(819200);
  constexpr int kBatch = 100;
  for (auto _ : state) {
    for (unsigned a = 0; a < 6; ++a)
      for (int i = 0; i < kBatch; ++i)
        card->write(2, r::ddaFifo(a), 16, 3 + a);
    platform::clock().sleepFor(cycle * kBatch);
  }
  state.SetItemsProcessed(state.iterations() * kBatch);
  card->write(2, r::kDdaControl, 16, 0);
  card.reset();
  vcard::bus().clear();
  platform::useRealTime();
}
BENCHMARK(BM_VirtualTimeCyclesSixAxes)->UseRealTime();

void BM_VirtualTimeInterruptsServed(benchmark::State& state) {
  platform::useVirtualTime();
  vcard::bus().clear();
  vcard::bus().install(vcard::ChipModel::Qora210);
  test::OpenCard card = test::openCard(0x0210);
  const std::uint8_t v = card.bridgeRead();
  TransferRecord ack[2] = {{card.bridgeBase + r::kBridgeIntCsr, kPortRead8, 1, 1, 0, 0},
                           {card.bridgeBase + r::kBridgeIntCsr, kPortWrite8, 1, 1, 0, v & ~0x40u}};
  InterruptRecord irq{};
  irq.handle = card.interruptHandle;
  irq.options = kInterruptLevelSensitive | kInterruptRunCommands;
  irq.commands = ack;
  irq.commandCount = 2;
  test::request(card.handle, kInterruptEnable, irq);
  std::thread service([&] {
    for (;;) {
      InterruptRecord w = irq;
      TransferRecord results[2] = {ack[0], ack[1]};
      w.commands = results;
      const Handle own = openDevice(kDeviceName);
      test::request(own, kInterruptWait, w);
      closeDevice(own);
      if (w.stopped == kInterruptStopped) return;
      card.chipWrite(r::kIntAck, 0);
      card.bridgeWrite(static_cast<std::uint8_t>(card.bridgeRead() | 0x41));
      while (card.chipRead(r::kIntSource) != 0)
        card.chipRead(r::kDdaIntCondition);
    }
  });
  card.bridgeWrite(static_cast<std::uint8_t>(card.bridgeRead() | 0x41));
  card.chipWrite(r::kDdaTiming, 0x5000);  // 0.8192 ms
  card.chipWrite(r::kDdaControl, (1u << r::kDdaCtlRunBit) | (1u << r::kDdaCtlCycleIntBit));
  const auto cycle = std::chrono::nanoseconds(819200);
  constexpr int kBatch = 1000;
  for (auto _ : state)
    platform::clock().sleepFor(cycle * kBatch);
  state.SetItemsProcessed(state.iterations() * kBatch);
  card.chipWrite(r::kDdaControl, 0);
  test::request(card.handle, kInterruptDisable, irq);
  service.join();
  test::closeCard(card);
  vcard::bus().clear();
  platform::useRealTime();
}
BENCHMARK(BM_VirtualTimeInterruptsServed)->UseRealTime();

}  // namespace
