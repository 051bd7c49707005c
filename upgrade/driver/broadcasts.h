// What the installer tells the device's other processes (broadcast to ids
// 1..11, lparam 0, no data).
#pragma once

// Message 4, the upgrade's progress; wparam says what happened.
constexpr int kMsgUpgrade = 4;
constexpr int kUpgradeCheckFailed = 1;     // the package was refused
constexpr int kUpgradeAppsStopping = 2;    // accepted; the applications are about to stop
constexpr int kUpgradeKillappsFailed = 3;  // the applications could not be stopped
constexpr int kUpgradeBurnFailed = 4;      // writing the flash failed

// Message 3, wparam 0: a failure screen or the auto-provisioning countdown is up.
constexpr int kMsgFailureShown = 3;
