// Test seams: entry points into the library's internals for its own tests.
// They are built into libvarnelpci_seams, the test build of the library
// (the same objects plus this file), never into the shipped library.
#include "export.h"
#include "library.h"

// Test seam: push a pulse block as the planner will.
VNL_EXPORT int32_t vnl_test_push_pulses(uint16_t group, const int32_t* block) {
  if (group >= vnl::kGroups || !block) return VNL_ERR_RANGE;
  auto& L = vnl::lib();
  if (!L.pulseQueues[group].push(block)) return VNL_ERR_QUEUE_FULL;
  if (L.outputIdle.load(std::memory_order_acquire) == vnl::kRaised)
    L.modeCmd[vnl::kStartOutput].store(vnl::kRaised, std::memory_order_release);
  return 0;
}

// Test seam: switch only the interface layer's copy of the simulation switch,
// so that a test thread can run the simulated cycle while the caller's waits
// merely sleep (the shape of the card path, with the cycle on its own thread).
VNL_EXPORT void vnl_test_interface_simulation(int32_t on) {
  vnl::lib().simApi.store(on ? 1 : 0, std::memory_order_release);
}

// Test seam: post a request through the mailbox as the interface functions do.
VNL_EXPORT int32_t vnl_test_post(uint8_t code, uint16_t value, uint32_t data) {
  return vnl::lib().post(code, value, data);
}

// Test seam: raise several mode commands at once (bit c of mask raises command
// c: 0 StartOutput, 1 Hold, 2 StartHoming, 3 Stop, 4 Resume, 5 OutputDone,
// 6 HomingDone) so that one dispatch evaluates them together.
VNL_EXPORT void vnl_test_raise(uint32_t mask) {
  auto& L = vnl::lib();
  for (int c = 0; c < vnl::kCmdCount; ++c)
    if (mask & (1u << c)) L.modeCmd[c].store(vnl::kRaised, std::memory_order_release);
}

// Test seam: the output layer's mode and error latch.
VNL_EXPORT int32_t vnl_test_output_mode(void) {
  return vnl::lib().mode.load(std::memory_order_acquire);
}
VNL_EXPORT int32_t vnl_test_output_latch(void) {
  return vnl::lib().latch.load(std::memory_order_acquire);
}

// Test seam: post a request through the mailbox as the library's own
// functions do; 0 when the cycle served it, -3 after 50 polls. The data field
// as the cycle left it is written back (read requests).
VNL_EXPORT int32_t vnl_test_post_read(uint8_t code, uint16_t value, uint32_t* data) {
  auto& L = vnl::lib();
  const int32_t r = L.post(code, value, data ? *data : 0);
  if (data) *data = L.reqData.load(std::memory_order_acquire);
  return r;
}

// Test seam: the stepwise-homing state of an axis of card 0.
VNL_EXPORT int32_t vnl_test_step_home_state(uint16_t axis) {
  return axis > 5 ? -1 : vnl::lib().stepState[axis].load(std::memory_order_acquire);
}
