// The serial driver on an in-process port: the way the demonstration instrument comes in where
// there are no pseudo-terminals. Runs on every platform.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <functional>
#include <string>

#include "link/inprocessport.h"
#include "link/serialportdriver.h"
#include "sim/simulator.h"

namespace vkt::link {
namespace {

int argc = 1;
char arg0[] = "link_inprocess_test";
char* argv[] = {arg0, nullptr};

bool wait_until(const std::function<bool()>& done, int ms = 10000) {
  QDeadlineTimer deadline(ms);
  while (!done()) {
    if (deadline.hasExpired()) {
      return false;
    }
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  return true;
}

// Answers each byte with itself repeated `times` times, and counts its openings.
class RepeatingLine : public InProcessLine {
 public:
  RepeatingLine(int times, int* openings) : times_(times) { ++*openings; }
  void receive(const char* data, std::size_t count, std::string& answer) override {
    for (std::size_t i = 0; i < count; ++i) {
      answer.append(static_cast<std::size_t>(times_), data[i]);
    }
  }

 private:
  int times_;
};

class InProcessPortTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (QCoreApplication::instance() == nullptr) {
      new QCoreApplication(argc, argv);
    }
  }
};

TEST_F(InProcessPortTest, AnswersArriveLaterInChunksAndStopAtClose) {
  int openings = 0;
  register_in_process_port("ТЕСТ", [&openings] { return std::make_unique<RepeatingLine>(300, &openings); });
  SerialPortDriver driver;
  driver.SetInBufSize(128);
  std::string received;
  std::size_t largest = 0;
  driver.OnReceiveData = [&](SerialPortDriver*, const char* data, std::size_t n) {
    received.append(data, n);
    largest = std::max(largest, n);
  };
  driver.SetPortName(QStringLiteral("ТЕСТ"));
  ASSERT_TRUE(driver.OpenPort());
  EXPECT_TRUE(driver.IsOpen());
  EXPECT_EQ(openings, 1);
  ASSERT_TRUE(driver.WriteChar('V'));
  EXPECT_TRUE(received.empty()) << "an answer is handed over from the event loop, not inside the write";
  ASSERT_TRUE(wait_until([&] { return received.size() == 300; }));
  EXPECT_EQ(received, std::string(300, 'V'));
  EXPECT_EQ(largest, 128u);

  // Purged input is dropped; closing drops what is still pending; a new opening is a new line.
  driver.WriteChar('Q');
  driver.PurgeBuffers(true, false);
  driver.WriteChar('Z');
  driver.ClosePort();
  EXPECT_FALSE(driver.IsOpen());
  QCoreApplication::processEvents(QEventLoop::AllEvents, 100);
  EXPECT_EQ(received.size(), 300u);
  ASSERT_TRUE(driver.OpenPort());
  EXPECT_EQ(openings, 2);
  driver.WriteChar('Z');
  ASSERT_TRUE(wait_until([&] { return received.size() == 600; }));
  EXPECT_EQ(received.substr(300), std::string(300, 'Z'));
  driver.ClosePort();

  unregister_in_process_port("ТЕСТ");
  EXPECT_FALSE(driver.OpenPort()) << "an unregistered name is an ordinary device name, and absent";
}

// Where the simulator cannot have a pseudo-terminal it serves in-process, and the driver reaches it.
TEST_F(InProcessPortTest, SimulatorServesTheDriverInProcessWhereItMust) {
  if (!sim::Simulator::serves_in_process()) {
    GTEST_SKIP() << "this system has pseudo-terminals: the simulator serves on one of them";
  }
  sim::SimulatorOptions options;
  options.instrument.records = 5;
  options.once = true;
  sim::Simulator simulator(options);
  const QString port = QString::fromStdString(simulator.start());
  SerialPortDriver driver;
  std::string received;
  driver.OnReceiveData = [&](SerialPortDriver*, const char* data, std::size_t n) {
    received.append(data, n);
  };
  driver.SetPortName(port);
  ASSERT_TRUE(driver.OpenPort());
  driver.WriteChar('V');
  const std::string id = simulator.instrument().identification_answer();
  ASSERT_TRUE(wait_until([&] { return received.size() >= id.size(); }));
  EXPECT_EQ(received, id);
  received.clear();
  driver.WriteChar('Q');
  const std::string& data = simulator.instrument().data_answer();
  ASSERT_TRUE(wait_until([&] { return received.size() >= data.size(); }));
  EXPECT_EQ(received, data);
  EXPECT_TRUE(simulator.finished());
  EXPECT_EQ(simulator.requests(), 2u);
  driver.ClosePort();
  simulator.stop();
  EXPECT_FALSE(driver.OpenPort());
}

// The ports a download tries when none are configured, and the numbered ports' device names.
TEST(SerialPortNames, TheFirstTwoSerialPortsAreTheDefaults) {
#ifdef _WIN32
  const QStringList expected = {QStringLiteral("\\\\.\\COM1"), QStringLiteral("\\\\.\\COM2")};
  const QString fifth = QStringLiteral("\\\\.\\COM5");
#else
  const QStringList expected = {QStringLiteral("/dev/ttyS0"), QStringLiteral("/dev/ttyS1")};
  const QString fifth = QStringLiteral("/dev/ttyS4");
#endif
  EXPECT_EQ(default_serial_ports(), expected);
  SerialPortDriver driver;
  EXPECT_EQ(driver.PortName(), expected[1]);
  driver.SetPort(TPortNumber::pnCOM5);
  EXPECT_EQ(driver.PortName(), fifth);
}

}  // namespace
}  // namespace vkt::link
