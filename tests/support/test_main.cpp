// The main() of every test executable. Windows are drawn off-screen, with no display needed, and
// the tests of one kind of Qt application share one, made here before any test runs
// (VKT_TEST_APPLICATION: 1 core, 2 gui, 3 widgets). The environment of the Linux side does not
// reach a program under Wine, so what CTest would set for a test is set here as well.
//
// The cases that cannot run under Wine are left out there, each with its reason (they run on Linux):
// - the independent readers are Linux programs (python3-dbfread, python3-xlrd and our Python
//   helpers) that cannot open the Windows paths they would be given;
// - some cases read a table's or index's bytes from outside while the engine holds the file, which
//   Windows refuses: the engine opens its files without sharing, the Windows form of its lock;
// - symbolic links cannot be made there (Wine does not implement them for programs).

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <fstream>
#include <string>
#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>
#endif

#if VKT_TEST_APPLICATION == 3
#include <QApplication>
using TestApplication = QApplication;
#elif VKT_TEST_APPLICATION == 2
#include <QGuiApplication>
using TestApplication = QGuiApplication;
#elif VKT_TEST_APPLICATION == 1
#include <QCoreApplication>
using TestApplication = QCoreApplication;
#endif

namespace {

#ifdef _WIN32
constexpr const char* kNotUnderWine =
    // Linux readers
    "-TableFile.ValuesSurviveReopenAndMatchDbfread"
    ":TableWalk.DeletedRowsLeaveTheViewAndPackRemovesThem"
    ":InterruptedPack.*"
    ":InterruptedAppend.*"
    ":*CodePageTable.AllUpperBytesAgreeWithPythonAndRoundTrip*"
    ":MeasurementFile.ImportedRowsAreReadBackByDbfreadAndAdmittedAsDeviceA"
    ":MeasurementFile.IndependentlyWrittenDeviceBFileIsReadAndSplitByKind"
    ":SimulatorRoundTrip.EveryMeasurementOfAFullMemoryArrivesInTheFile"
    ":MainWindowExportTest.DeviceARowsInFileOrderWhateverTheSort"
    ":MainWindowExportTest.DeviceBTabAndOlderInstrumentSheetName"
    ":MainWindowExportTest.XlsxCsvAndPdfBesideTheExcelExport"  // also needs .xlsx, not built here
    // bytes read from outside while the file is held without sharing
    ":TableFile.PostedRowIsInTheFileBeforeClose"
    ":TableIndexSupport.HeaderFlagsAreWrittenInPlace"
    ":TableIndexTest.SortingLeavesTheRowsOnDiskAlone"
    ":TableIndexTest.FlagsFollowTheTags"
    ":TableIndexTest.SoundIndexIsTakenUpOnOpen"
    ":TableIndexTest.MissingIndexClearsTheFlag"
    ":TableIndexTest.StaleIndexFromACrashIsDropped"
    // symbolic links
    ":FileReplacement.LinksLeftByOthersAreNeverFollowedAndDeadLeftoversGo"
    ":FileReplacement.SymlinkKeepsPointingAtTheUpdatedFileWithItsMode"
    ":FileReplacement.SameFileUnderAnyName";
#endif

}  // namespace

#if VKT_TEST_APPLICATION
// The off-screen display: one 1920 × 1080 screen at 96 dpi, so that windows of the program's own
// size fit it; tests of smaller screens hand the area to fit into themselves. The file lies in
// the working folder under a name of this process (a path with a drive letter would not pass).
std::string offscreen_platform() {
  const std::string file = "vkt-offscreen-" +
                           std::to_string(
#ifdef _WIN32
                               _getpid()
#else
                               getpid()
#endif
                                   ) +
                           ".json";
  std::ofstream(file) << R"({"screens": [{"name": "test", "x": 0, "y": 0, "width": 1920, "height": 1080,)"
                         R"( "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})";
  return "offscreen:configfile=" + file;
}
#endif

int main(int argc, char** argv) {
#if VKT_TEST_APPLICATION
  const std::string platform = offscreen_platform();
#else
  const std::string platform = "offscreen";
#endif
#ifdef _WIN32
  _putenv_s("QT_QPA_PLATFORM", platform.c_str());
  // The off-screen platform of Windows reads its fonts from a folder of its own, none by default;
  // the tests measure text in the system's fonts, as the program's windows and printouts use.
  const char* windows = std::getenv("WINDIR");
  if (windows != nullptr && std::getenv("QT_QPA_FONTDIR") == nullptr) {
    _putenv_s("QT_QPA_FONTDIR", (std::string(windows) + "\\Fonts").c_str());
  }
#else
  setenv("QT_QPA_PLATFORM", platform.c_str(), 1);
#endif
  ::testing::InitGoogleTest(&argc, argv);
#ifdef _WIN32
  if (GTEST_FLAG_GET(filter) == "*") {
    GTEST_FLAG_SET(filter, kNotUnderWine);
  }
#endif
#if VKT_TEST_APPLICATION
  int result = 0;
  {
    TestApplication application(argc, argv);
    // The platform has read its configuration: the file goes now, so that a test run that is
    // killed leaves none behind.
    std::remove(platform.substr(platform.find('=') + 1).c_str());
    result = RUN_ALL_TESTS();
  }
  return result;
#else
  return RUN_ALL_TESTS();
#endif
}
