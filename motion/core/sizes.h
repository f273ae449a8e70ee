// Fixed limits of the data model.
#pragma once

namespace vnl {

constexpr int kCards = 12;
constexpr int kAxesPerCard = 6;
constexpr int kMachineAxes = kCards * kAxesPerCard;  // system-wide axes, card x 6 + axis
constexpr int kGroups = 72;
constexpr int kSlots = 6;             // X, Y, Z, U, V, W of a group
constexpr int kQueueRecords = 30000;  // commands each group's queue holds
// A group is stepped while its first axis's card queue holds fewer entries
// than this: half the card queue, so a late cycle finds pulses still queued.
constexpr int kCardQueueThreshold = 63;

}  // namespace vnl
