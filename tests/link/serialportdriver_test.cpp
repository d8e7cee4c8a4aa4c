// The serial port driver against a pseudo-terminal whose other end the test holds.
#include "link/serialportdriver.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <functional>
#include <string>
#include <vector>

#include "link/downloadcontroller.h"

namespace vkt::link {
namespace {

int argc = 1;
char arg0[] = "link_serial_test";
char* argv[] = {arg0, nullptr};

// Runs the event loop until `done` holds; false after `ms` without it.
bool wait_until(const std::function<bool()>& done, int ms = 20000) {
  QDeadlineTimer deadline(ms);
  while (!done()) {
    if (deadline.hasExpired()) {
      return false;
    }
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  return true;
}

class PseudoTerminal {
 public:
  PseudoTerminal() {
    char name[256] = {};
    if (::openpty(&master_, &slave_, name, nullptr, nullptr) == 0) {
      termios raw{};
      ::tcgetattr(slave_, &raw);
      ::cfmakeraw(&raw);
      ::tcsetattr(slave_, TCSANOW, &raw);
      path_ = name;
    }
  }
  ~PseudoTerminal() {
    close_master();
    if (slave_ >= 0)
      ::close(slave_);
  }
  bool ok() const { return !path_.empty(); }
  QString path() const { return QString::fromStdString(path_); }
  void send(const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
      const ssize_t n = ::write(master_, text.data() + done, text.size() - done);
      ASSERT_GT(n, 0);
      done += static_cast<std::size_t>(n);
    }
  }
  // Whatever the driver wrote, waiting up to `ms` for the first byte.
  std::string receive(int ms = 10000) {
    pollfd p{master_, POLLIN, 0};
    std::string out;
    if (::poll(&p, 1, ms) > 0) {
      char buffer[256];
      const ssize_t n = ::read(master_, buffer, sizeof buffer);
      if (n > 0) {
        out.assign(buffer, static_cast<std::size_t>(n));
      }
    }
    return out;
  }
  void close_master() {
    if (master_ >= 0) {
      ::close(master_);
      master_ = -1;
    }
  }

 private:
  int master_ = -1;
  int slave_ = -1;
  std::string path_;
};

class SerialPortDriverTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (QCoreApplication::instance() == nullptr) {
      new QCoreApplication(argc, argv);
    }
  }
  void SetUp() override {
    ASSERT_TRUE(pty.ok());
    driver.SetPortName(pty.path());
    driver.SetInBufSize(4096);
    driver.SetPollingDelay(20);
    driver.OnReceiveData = [this](SerialPortDriver* sender, const char* data, std::size_t count) {
      EXPECT_EQ(sender, &driver);
      chunks.emplace_back(data, count);
    };
  }
  std::size_t received() const {
    std::size_t n = 0;
    for (const auto& c : chunks) {
      n += c.size();
    }
    return n;
  }

  PseudoTerminal pty;
  SerialPortDriver driver;
  std::vector<std::string> chunks;
};

TEST_F(SerialPortDriverTest, DefaultsAndLimits) {
  SerialPortDriver d;
  EXPECT_EQ(d.Port(), TPortNumber::pnCOM2);
  EXPECT_EQ(d.PortName(), default_serial_ports().at(1));
  EXPECT_EQ(d.EffectiveBaudRate(), 9600u);
  EXPECT_EQ(d.StopBits(), TStopBits::sb1BITS);
  EXPECT_EQ(d.HwFlow(), THwFlowControl::hfNONERTSON);
  EXPECT_EQ(d.InBufSize(), 2048u);
  EXPECT_EQ(d.PollingDelay(), 50);
  EXPECT_TRUE(d.EnableDTROnOpen());
  EXPECT_EQ(d.OutputTimeout(), 500);
  d.SetInBufSize(100);
  EXPECT_EQ(d.InBufSize(), 128u);
  d.SetInBufSize(100000);
  EXPECT_EQ(d.InBufSize(), 8192u);
  d.SetPollingDelay(1);
  EXPECT_EQ(d.PollingDelay(), 5);
  d.SetPort(TPortNumber::pnCOM1);
  EXPECT_EQ(d.PortName(), default_serial_ports().at(0));
  d.SetBaudRate(TBaudRate::br115200);
  EXPECT_EQ(d.EffectiveBaudRate(), 115200u);

  // The download's port: 57600 bit/s 8N2, DTR off, RTS on, 4096-byte chunks every 50 ms.
  ProgramState state;
  DownloadController controller(state, {QStringLiteral("/dev/a"), QStringLiteral("/dev/b")});
  auto& p = controller.SerialPort1();
  EXPECT_EQ(p.objectName(), QStringLiteral("SerialPort1"));
  EXPECT_EQ(p.PortName(), QStringLiteral("/dev/a"));
  EXPECT_EQ(p.Port(), TPortNumber::pnCustom);
  EXPECT_EQ(p.EffectiveBaudRate(), 57600u);
  EXPECT_EQ(p.DataBits(), TDataBits::db8BITS);
  EXPECT_EQ(p.StopBits(), TStopBits::sb2BITS);
  EXPECT_EQ(p.Parity(), TParity::ptNONE);
  EXPECT_EQ(p.SwFlow(), TSwFlowControl::sfNONE);
  EXPECT_EQ(p.InBufSize(), 4096u);
  EXPECT_EQ(p.OutBufSize(), 4096u);
  EXPECT_EQ(p.PollingDelay(), 50);
  EXPECT_FALSE(p.EnableDTROnOpen());
}

TEST_F(SerialPortDriverTest, MissingPortStaysClosedAndSilent) {
  driver.SetPortName(QStringLiteral("/dev/no-such-serial-port"));
  EXPECT_FALSE(driver.OpenPort());
  EXPECT_FALSE(driver.IsOpen());
  EXPECT_FALSE(driver.WriteChar('V'));
  QCoreApplication::processEvents(QEventLoop::AllEvents, 100);
  EXPECT_TRUE(chunks.empty());
}

TEST_F(SerialPortDriverTest, WritesRequestCharacters) {
  ASSERT_TRUE(driver.OpenPort());
  EXPECT_TRUE(driver.IsOpen());
  EXPECT_TRUE(driver.WriteChar('V'));
  EXPECT_EQ(pty.receive(), "V");
  EXPECT_EQ(driver.WriteBytes("QQ", 2, 500), 2u);
  std::string got = pty.receive();
  if (got.size() < 2) {
    got += pty.receive();
  }
  EXPECT_EQ(got, "QQ");
}

TEST_F(SerialPortDriverTest, DeliversBurstsInChunksOfAtMostInBufSize) {
  ASSERT_TRUE(driver.OpenPort());
  pty.send(std::string(300, '7'));
  ASSERT_TRUE(wait_until([&] { return received() == 300; }));
  EXPECT_EQ(chunks.size(), 1u);

  chunks.clear();
  std::string burst;
  for (int i = 0; i < 10000; ++i) {
    burst += static_cast<char>('0' + i % 16);
  }
  pty.send(burst);
  ASSERT_TRUE(wait_until([&] { return received() == burst.size(); }));
  EXPECT_GE(chunks.size(), 3u);
  std::string joined;
  for (const auto& c : chunks) {
    EXPECT_LE(c.size(), 4096u);
    joined += c;
  }
  EXPECT_EQ(joined, burst);
}

TEST_F(SerialPortDriverTest, PortNameChangesOnlyWhileClosed) {
  ASSERT_TRUE(driver.OpenPort());
  driver.SetPortName(QStringLiteral("/dev/no-such-serial-port"));
  EXPECT_EQ(driver.PortName(), pty.path());
  driver.ClosePort();
  EXPECT_FALSE(driver.IsOpen());
  // Nothing is delivered while closed.
  pty.send("123");
  QCoreApplication::processEvents(QEventLoop::AllEvents, 100);
  EXPECT_TRUE(chunks.empty());
  driver.SetPortName(QStringLiteral("/dev/no-such-serial-port"));
  EXPECT_FALSE(driver.OpenPort());
  driver.SetPortName(pty.path());
  ASSERT_TRUE(driver.OpenPort());
  // Opening discards what waited on the line.
  pty.send("45");
  ASSERT_TRUE(wait_until([&] { return received() >= 2; }));
  EXPECT_EQ(chunks.front().substr(0, 2), "45");
}

TEST_F(SerialPortDriverTest, FailingLineClosesThePortAndSaysSo) {
  int failures = 0;
  driver.OnPortError = [&](SerialPortDriver*, const QString&) { ++failures; };
  ASSERT_TRUE(driver.OpenPort());
  pty.close_master();
  ASSERT_TRUE(wait_until([&] { return failures > 0; }));
  EXPECT_FALSE(driver.IsOpen());
  QCoreApplication::processEvents(QEventLoop::AllEvents, 100);
  EXPECT_EQ(failures, 1);
}

TEST_F(SerialPortDriverTest, FailedOpeningsSayWhy) {
  ASSERT_TRUE(driver.OpenPort());
  SerialPortDriver second;
  second.SetPortName(pty.path());
  EXPECT_FALSE(second.OpenPort());
  EXPECT_EQ(second.last_open_failure().port, pty.path());
  EXPECT_EQ(second.last_open_failure().failure, PortFailure::Busy);
  second.SetPortName(QStringLiteral("/dev/no-such-serial-port"));
  EXPECT_FALSE(second.OpenPort());
  EXPECT_EQ(second.last_open_failure().failure, PortFailure::NoSuchPort);
}

}  // namespace
}  // namespace vkt::link
