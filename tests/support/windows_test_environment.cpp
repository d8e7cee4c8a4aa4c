// Linked into every test executable of the Windows build. The environment of the Linux side does
// not reach a program under Wine, so what CTest would set for a test is set here, before main():
// windows drawn off-screen, with no display needed.
//
// The cases that cannot run there are left out here, each with its reason (they run on Linux):
// - the independent readers are Linux programs (python3-dbfread, python3-xlrd and our Python
//   helpers) that cannot open the Windows paths they would be given;
// - some cases read a table's or index's bytes from outside while the engine holds the file, which
//   Windows refuses: the engine opens its files without sharing, the Windows form of its lock.

#include <stdlib.h>

namespace {

constexpr const char* kNotUnderWine =
    // Linux readers
    "-TableFile.ValuesSurviveReopenAndMatchDbfread"
    ":TableWalk.DeletedRowsLeaveTheViewAndPackRemovesThem"
    ":InterruptedPack.*"
    ":*CodePageTable.AllUpperBytesAgreeWithPythonAndRoundTrip*"
    ":MeasurementFile.ImportedRowsAreReadBackByDbfreadAndAdmittedAsDeviceA"
    ":MeasurementFile.IndependentlyWrittenDeviceBFileIsReadAndSplitByKind"
    ":SimulatorRoundTrip.EveryMeasurementOfAFullMemoryArrivesInTheFile"
    ":MainWindowExportTest.DeviceARowsInFileOrderWhateverTheSort"
    ":MainWindowExportTest.DeviceBTabAndOlderInstrumentSheetName"
    // bytes read from outside while the file is held without sharing
    ":TableFile.PostedRowIsInTheFileBeforeClose"
    ":TableIndexSupport.HeaderFlagsAreWrittenInPlace"
    ":TableIndexTest.SortingLeavesTheRowsOnDiskAlone"
    ":TableIndexTest.FlagsFollowTheTags"
    ":TableIndexTest.SoundIndexIsTakenUpOnOpen"
    ":TableIndexTest.MissingIndexClearsTheFlag"
    ":TableIndexTest.StaleIndexFromACrashIsDropped";

[[maybe_unused]] const bool g_environment_set = [] {
  _putenv_s("QT_QPA_PLATFORM", "offscreen");
  _putenv_s("GTEST_FILTER", kNotUnderWine);
  return true;
}();

}  // namespace
