#pragma once

// Which edition of the program this build is. One tree builds two editions, chosen
// with the CMake option KX4_EDITION (edition/build.cmake). This folder depends on
// nothing, so every layer, the link and the image conversion included, may read it.
//
//   current  "0.2.0", organisation "Veltro": backups, board settings, maintenance values.
//   update   "0.1.0", organisation "Quorvel": checks an appcast feed for updates and
//            has none of backups, board settings and maintenance values.
//
// Every difference of the update-checking edition is in one of these places, each
// marked with KX4_UPDATE_EDITION (in headers the interface reads) or Edition:: (in code):
//   - app/AppShell.cpp       organisation and version; registers the Updater type.
//   - app/Translators.cpp    stored language or "en", never the system's; nothing stored
//                            back; no framework translation.
//   - runner/CFGRunner.h     the controller's interface: no boardConfig / deviceParam,
//                            no Phase / Param, State ends at Rebooting, setEngine(name,
//                            list), updateConfig(list), no backups, updateEeeprom, mcuReset.
//   - runner/CFGRunner.cpp   discovery goes from the device information straight to the
//                            table read; version() is Edition::Version.
//   - runner/CFGRunnerConfig.cpp   the table read ends the read (no board record at
//                            0x0200); engine selection by name; table-only write.
//   - runner/CFGRunnerWire.cpp     the decoder knows no maintenance values; its backup
//                            and maintenance-write cases belong to states this edition
//                            never enters, so acknowledgements count only while Writing
//                            or Uploading and block replies only while Reading.
//   - image/ImageConverter.cpp     display profile 0: 9-byte prefix, 114 x 80 canvas.
//   - link/ELM327IOBase.cpp  baud-rate detection keeps the port open at the found rate.
//   - updater/               the update checker (Updater, QuorvelUpdater and backends).
//   - ui/edition-update/     the main window and the device page of this edition
//                            (updater/build.cmake puts them in place of the current ones).
//   - tests/edition/         tests of all of the above; tests/CMakeLists.txt picks the
//                            subjects this edition's build runs.
//   - CMakeLists.txt         the benchmark (bench/) is built for the current edition only.
//   - cmake/Packaging.cmake  no Debian package is made from this edition's build.

#ifndef KX4_UPDATE_EDITION
#error "KX4_UPDATE_EDITION must be defined by the build (edition/build.cmake)"
#endif

namespace Edition {

constexpr bool UpdateChecking = KX4_UPDATE_EDITION;

constexpr const char *OrganisationName = UpdateChecking ? "Quorvel" : "Veltro";
constexpr const char *ApplicationName = "VeltroKX4";
constexpr const char *Version = UpdateChecking ? "0.1.0" : "0.2.0";

// The controller reads the four maintenance values after the device information.
constexpr bool HasMaintenanceValues = !UpdateChecking;
// The board record at 0x0200 is read after the table and written after it.
constexpr bool HasBoardRecord = !UpdateChecking;
// After finding the adapter's rate the link warm-starts it, closes the port and opens
// it again at that rate (one disconnected()); otherwise it keeps the port open.
constexpr bool DetectionReopensPort = !UpdateChecking;
// Without a stored language the system's is taken and stored; otherwise "en" is used
// and nothing is stored.
constexpr bool LanguageFromSystem = !UpdateChecking;
// The framework's own translation ("qt_ru.qm") is installed beside the program's.
constexpr bool LoadsFrameworkTranslation = !UpdateChecking;

} // namespace Edition
