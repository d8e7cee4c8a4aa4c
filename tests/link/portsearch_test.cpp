// The automatic search for the instrument over ports the test presents as the machine's own:
// in-process lines answer as an instrument, a foreign device or not at all.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "image/imagelayout.h"
#include "link/downloadcontroller.h"
#include "link/inprocessport.h"
#include "link/portlist.h"
#include "link/serialportdriver.h"
#include "sim/instrument.h"

namespace vkt::link {
namespace {

int argc = 1;
char arg0[] = "link_portsearch_test";
char* argv[] = {arg0, nullptr};

using Tried = std::vector<std::pair<QString, PortFailure>>;

// The ports a search left and why; the system's own words for a failed opening are left out.
Tried why(const std::vector<PortReport>& reports) {
  Tried out;
  for (const auto& r : reports) {
    out.emplace_back(r.port, r.failure);
  }
  return out;
}

constexpr std::size_t kTwoRecordImage = image::kHeaderSize + 2 * image::kRecordSize + 4;

PortInfo port(const QString& name, bool usb = false) {
  PortInfo p;
  p.name = name;
  if (usb) {
    p.vendor_id = 0x0403;
    p.product_id = 0x6001;
  }
  return p;
}

TEST(PortOrder, SerialPortsFirstThenLastGoodAndUsbFirstInTheSearch) {
  const QString com1 = serial_port_device(1);
  const QString com2 = serial_port_device(2);
  std::vector<PortInfo> listed = {port("/dev/ttyUSB0", true), port(com2), port("/dev/ttyS7"), port(com1),
                                  port("/dev/ttyACM0", true)};
  put_serial_ports_first(listed);
  QStringList names;
  for (const auto& p : listed) {
    names << p.name;
  }
  EXPECT_EQ(names, QStringList({com1, com2, "/dev/ttyUSB0", "/dev/ttyS7", "/dev/ttyACM0"}));

  // The first serial port is absent here: it is not tried; the last good port comes first even
  // when it is not listed, and is not tried twice.
  const std::vector<PortInfo> present = {port("/dev/ttyS7"), port("/dev/ttyACM0", true), port(com2),
                                         port("/dev/ttyUSB0", true)};
  EXPECT_EQ(automatic_order(present, "/dev/ttyUSB3"),
            QStringList({"/dev/ttyUSB3", com2, "/dev/ttyACM0", "/dev/ttyUSB0", "/dev/ttyS7"}));
  EXPECT_EQ(automatic_order(present, "/dev/ttyS7"),
            QStringList({"/dev/ttyS7", com2, "/dev/ttyACM0", "/dev/ttyUSB0"}));
  // Named ports keep their places around the automatic entry.
  EXPECT_EQ(expand_ports({"/dev/pts/9", "AUTO", "/dev/ttyACM0"}, present, {}),
            QStringList({"/dev/pts/9", com2, "/dev/ttyACM0", "/dev/ttyUSB0", "/dev/ttyS7"}));
}

TEST(PortFailureText, ReasonsAndTheMessageWhenNothingWasFound) {
  EXPECT_EQ(open_failure(QSerialPort::DeviceNotFoundError, false, false), PortFailure::NoSuchPort);
  EXPECT_EQ(open_failure(QSerialPort::PermissionError, true, false), PortFailure::AccessDenied);
  // Allowed to use the device, yet refused: another program has it.
  EXPECT_EQ(open_failure(QSerialPort::PermissionError, true, true), PortFailure::Busy);
  // Windows refuses a COM port another program holds as "access denied"; "COM5" names no file.
  EXPECT_EQ(open_failure(QSerialPort::PermissionError, false, false), PortFailure::Busy);
  EXPECT_EQ(open_failure(QSerialPort::OpenError, true, true), PortFailure::Busy);
  EXPECT_EQ(open_failure(QSerialPort::UnsupportedOperationError, true, true), PortFailure::OpenFailed);

  QString denied = QStringLiteral("нет доступа");
#ifdef Q_OS_LINUX
  denied += QStringLiteral(
      " (добавьте пользователя в группу dialout: sudo usermod -aG dialout $USER, затем войдите в "
      "систему заново)");
#endif
  const std::vector<PortReport> reports = {
      {"/dev/ttyUSB0", PortFailure::AccessDenied, {}},    {"/dev/ttyUSB1", PortFailure::Busy, {}},
      {"/dev/ttyS0", PortFailure::NoAnswer, {}},          {"/dev/ttyS1", PortFailure::NoSuchPort, {}},
      {"/dev/ttyACM0", PortFailure::WrongDevice, {}},     {"/dev/ttyACM1", PortFailure::TransferError, {}},
      {"COM9", PortFailure::OpenFailed, "Unknown error"},
  };
  EXPECT_EQ(not_found_text(reports),
            QStringLiteral("Опрошены порты:\n"
                           "/dev/ttyUSB0: ") +
                denied +
                QStringLiteral("\n"
                               "/dev/ttyUSB1: порт занят другой программой\n"
                               "/dev/ttyS0: нет ответа\n"
                               "/dev/ttyS1: нет такого порта\n"
                               "/dev/ttyACM0: ответил не тот прибор: «Вы подключили не тот прибор !»\n"
                               "/dev/ttyACM1: ответ не прочитан: «Ошибка передачи данных!»\n"
                               "COM9: порт не открывается: Unknown error\n"
                               "\n"
                               "Прибор не обнаружен! Проверте правильность подключения согласно "
                               "инструкции!"));
  EXPECT_EQ(not_found_text({}), QStringLiteral("Последовательные порты не найдены.\n\n"
                                               "Прибор не обнаружен! Проверте правильность подключения "
                                               "согласно инструкции!"));
}

// A line with an instrument at its other end (or nothing, with the silence fault).
class InstrumentLine : public InProcessLine {
 public:
  explicit InstrumentLine(const sim::InstrumentOptions& options) : instrument_(options) {}
  void receive(const char* data, std::size_t count, std::string& answer) override {
    for (std::size_t i = 0; i < count; ++i) {
      instrument_.respond(data[i], answer);
    }
  }

 private:
  sim::Instrument instrument_;
};

// An instrument pulled out half-way through its memory, on a port that never says so: the
// identification, then half the data answer, then nothing.
class PulledOutLine : public InProcessLine {
 public:
  void receive(const char* data, std::size_t count, std::string& answer) override {
    for (std::size_t i = 0; i < count; ++i) {
      std::string whole;
      instrument_.respond(data[i], whole);
      answer += data[i] == 'Q' ? whole.substr(0, whole.size() / 2) : whole;
    }
  }

 private:
  sim::Instrument instrument_{sim::InstrumentOptions{}};
};

class PortSearch : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (QCoreApplication::instance() == nullptr) {
      new QCoreApplication(argc, argv);
    }
  }
  void SetUp() override {
    set_port_memory({[this] { return remembered; }, [this](const QString& p) { remembered = p; }});
  }
  void TearDown() override {
    set_port_memory({});
    for (const auto& name : registered_) {
      unregister_in_process_port(name);
    }
  }

  // A port the search finds listed, answering as `fault` makes the instrument answer.
  QString line(const std::string& name, sim::Fault fault) {
    sim::InstrumentOptions o;
    o.records = 2;
    o.fault = fault;
    register_in_process_port(name, [o] { return std::make_unique<InstrumentLine>(o); });
    registered_.push_back(name);
    return QString::fromStdString(name);
  }

  // Runs one exchange; `meanwhile` is called while it runs.
  void run(const QStringList& ports, unsigned wait_ms, bool identify_only,
           const std::function<void()>& meanwhile = {}, int stall_ms = kAnswerStallMs) {
    tried.clear();
    errors.clear();
    result.reset();
    DownloadController controller(state, ports);
    controller.SerialPort1().SetPollingDelay(5);
    controller.Session().set_answer_wait_ms(wait_ms);
    controller.set_port_lister([this] { return present; });
    controller.set_identify_only(identify_only);
    controller.set_search(search);
    controller.set_answer_stall_ms(stall_ms);
    controller.OnShow = [this](const Effect& e) {
      if (e.kind == Effect::Kind::TryingPort) {
        tried << QString::fromStdString(e.text);
      } else if (e.kind == Effect::Kind::ErrorBox) {
        errors << QString::fromStdString(e.text);
      }
    };
    controller.OnFinished = [this](Result r) {
      EXPECT_FALSE(result.has_value());
      result = r;
    };
    controller.Start();
    QDeadlineTimer deadline(30000);
    while (!result && !deadline.hasExpired()) {
      if (meanwhile) {
        meanwhile();
      }
      QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    ASSERT_TRUE(result.has_value());
    reports = controller.reports();
    answered = controller.answered_port();
    controller.Close();
    EXPECT_FALSE(controller.SerialPort1().IsOpen());
  }

  ProgramState state;
  std::vector<PortInfo> present;
  bool search = false;  // port by port even without the automatic entry
  QString remembered;
  QStringList tried;
  QStringList errors;
  std::optional<Result> result;
  std::vector<PortReport> reports;
  QString answered;

 private:
  std::vector<std::string> registered_;
};

TEST_F(PortSearch, InstrumentOnTheThirdOfFourIsRememberedAndTriedFirstNextTime) {
  const QString a = line("search-a", sim::Fault::Silence);
  const QString b = line("search-b", sim::Fault::Silence);
  const QString c = line("search-c", sim::Fault::None);
  const QString d = line("search-d", sim::Fault::Silence);
  present = {port(a), port(b), port(c), port(d)};
  run({QString::fromLatin1(kAutomaticPort)}, 200, false);
  EXPECT_EQ(result, Result::Ok);
  EXPECT_TRUE(errors.isEmpty());
  EXPECT_EQ(tried, QStringList({a, b, c}));
  EXPECT_EQ(why(reports), (Tried{{a, PortFailure::NoAnswer}, {b, PortFailure::NoAnswer}}));
  EXPECT_EQ(state.image_length, kTwoRecordImage);
  EXPECT_EQ(answered, c);
  EXPECT_EQ(remembered, c);

  // The next search starts where the instrument answered; an answer wait long enough to stop
  // the test shows that no other port was waited on.
  state.image_length = 0;
  run({QString::fromLatin1(kAutomaticPort)}, 60000, false);
  EXPECT_EQ(result, Result::Ok);
  EXPECT_EQ(tried, QStringList({c}));
  EXPECT_EQ(state.image_length, kTwoRecordImage);
}

TEST_F(PortSearch, MissingPortsAreLeftAtOnceAndForeignDevicesAfterTheirAnswer) {
  const QString wrong = line("search-type2", sim::Fault::WrongType);
  const QString garbled = line("search-garbled", sim::Fault::IdentificationChecksum);
  const QString good = line("search-good", sim::Fault::None);
  // Listed, then gone before it was opened; and the last good port of a cable now unplugged.
  const QString vanished = QStringLiteral("/nonexistent-vkt/ttyUSB9");
  remembered = QStringLiteral("/nonexistent-vkt/ttyUSB4");
  present = {port(vanished, true), port(wrong), port(garbled), port(good)};
  run({QString::fromLatin1(kAutomaticPort)}, 60000, true);
  EXPECT_EQ(result, Result::Ok);
  EXPECT_EQ(tried, QStringList({remembered, vanished, wrong, garbled, good}));
  EXPECT_EQ(why(reports), (Tried{
                              {remembered, PortFailure::NoSuchPort},
                              {vanished, PortFailure::NoSuchPort},
                              {wrong, PortFailure::WrongDevice},
                              {garbled, PortFailure::TransferError},
                          }));
  // Only identified: the memory was not asked for, and a probe is not remembered.
  EXPECT_EQ(answered, good);
  EXPECT_EQ(state.rec_count, 2);
  EXPECT_EQ(state.image_length, 0u);
  EXPECT_EQ(remembered, QStringLiteral("/nonexistent-vkt/ttyUSB4"));
}

TEST_F(PortSearch, NothingAnswersAndTheMessageSaysWhyForEachPort) {
  const QString silent = line("search-silent", sim::Fault::Silence);
  const QString wrong = line("search-other", sim::Fault::WrongType);
  present = {port(silent), port(wrong), port(QStringLiteral("/nonexistent-vkt/ttyACM0"), true)};
  run({QString::fromLatin1(kAutomaticPort)}, 200, false);
  EXPECT_EQ(result, Result::Cancel);
  EXPECT_EQ(why(reports), (Tried{
                              {"/nonexistent-vkt/ttyACM0", PortFailure::NoSuchPort},
                              {silent, PortFailure::NoAnswer},
                              {wrong, PortFailure::WrongDevice},
                          }));
  EXPECT_EQ(errors, QStringList({not_found_text(reports)}));
  EXPECT_TRUE(errors.value(0).startsWith(
      QStringLiteral("Опрошены порты:\n/nonexistent-vkt/ttyACM0: нет такого порта\n")))
      << errors.value(0).toStdString();
  EXPECT_TRUE(remembered.isEmpty());
}

TEST_F(PortSearch, CablePluggedInWhileTheSearchWaits) {
  const QString silent = line("search-first", sim::Fault::Silence);
  const QString late = line("search-late", sim::Fault::None);
  // One silent port at first; the instrument's adapter appears while it is waited on.
  present = {port(silent)};
  run({QString::fromLatin1(kAutomaticPort)}, 1500, true, [&] {
    if (!tried.isEmpty()) {
      present = {port(silent), port(late, true)};
    }
  });
  EXPECT_EQ(result, Result::Ok);
  EXPECT_EQ(tried, QStringList({silent, late}));
  EXPECT_EQ(answered, late);

  // No port at all at first: the search still waits one answer interval for the cable.
  present = {};
  int looks = 0;
  run({QString::fromLatin1(kAutomaticPort)}, 60000, true, [&] {
    if (++looks == 20) {
      present = {port(late, true)};
    }
  });
  EXPECT_EQ(result, Result::Ok);
  EXPECT_EQ(tried, QStringList({late}));
}

TEST_F(PortSearch, NamedPortsAloneAreTriedEachWithItsReason) {
  const QString silent = line("search-named", sim::Fault::Silence);
  const QString late = line("search-unasked", sim::Fault::None);
  const QString missing = QStringLiteral("/nonexistent-vkt/ttyS9");
  present = {port(silent)};
  search = true;
  // An instrument that appears meanwhile is not asked: only the automatic search takes it in.
  run({missing, silent}, 300, true, [&] { present = {port(silent), port(late, true)}; });
  EXPECT_EQ(result, Result::Cancel);
  EXPECT_EQ(tried, QStringList({missing, silent}));
  EXPECT_EQ(why(reports), (Tried{{missing, PortFailure::NoSuchPort}, {silent, PortFailure::NoAnswer}}));
  EXPECT_EQ(errors, QStringList({not_found_text(reports)}));
}

TEST_F(PortSearch, AnAnswerThatStopsHalfWayFailsTheDownload) {
  register_in_process_port("pulled-out", [] { return std::make_unique<PulledOutLine>(); });
  run({QStringLiteral("pulled-out")}, 300, false, {}, 200);
  unregister_in_process_port("pulled-out");
  EXPECT_EQ(result, Result::Cancel);
  EXPECT_EQ(errors, QStringList({QString::fromUtf8(kTransferError)}));
  EXPECT_EQ(state.image_length, 0U);
}

TEST_F(PortSearch, CancelBetweenPortsEndsTheSearch) {
  present = {};
  std::optional<Result> seen;
  ProgramState s;
  DownloadController controller(s, {QString::fromLatin1(kAutomaticPort)});
  controller.set_port_lister([this] { return present; });
  controller.OnFinished = [&](Result r) { seen = r; };
  controller.Start();  // nothing to try: it waits for a late cable
  EXPECT_FALSE(seen.has_value());
  controller.Cancel();
  EXPECT_EQ(seen, Result::Cancel);
  QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
  EXPECT_EQ(seen, Result::Cancel);
}

}  // namespace
}  // namespace vkt::link
