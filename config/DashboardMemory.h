#pragma once

// The dashboard's memory as the tool sees it, in its 14-bit address space. Every address
// the controller, the backups and the records use is named here.
//
//   0x0000-0x01FF  parameter table: 22-byte records back to back
//   0x0200-0x03FF  board record (18 bytes in version 1)
//   0x0400-0x3FFF  splash picture byte stream
//   0x3FFB-0x3FFE  maintenance values: current engine time, saved engine-time point,
//                  current odometer, saved odometer point (their request words are
//                  0x4000 less: 7B 7F ... 7E 7F, answered as values, not as memory)

namespace DashboardMemory {

constexpr int TableAddress = 0x0000;
// The table write moves on to the board record once the next chunk reaches it.
constexpr int BoardAddress = 0x0200;
constexpr int TableCapacity = BoardAddress - TableAddress;
// The board record may fill its area up to the splash picture.
constexpr int SplashAddress = 0x0400;
constexpr int BoardAreaSize = SplashAddress - BoardAddress;
constexpr int AddressSpace = 0x4000;
constexpr int SplashCapacity = AddressSpace - SplashAddress;

constexpr int CurrentEngineTime = 0x3FFB;
constexpr int SavedEngineTime = 0x3FFC;
constexpr int CurrentOdometer = 0x3FFD;
constexpr int SavedOdometer = 0x3FFE;
// Where the maintenance values begin: memory transfers stop below.
constexpr int MaintenanceValues = CurrentEngineTime;

} // namespace DashboardMemory
