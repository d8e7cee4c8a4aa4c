// The whole download over a real pseudo-terminal: the serial driver and the exchange on one side,
// the instrument simulator on the other.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "image/imagelayout.h"
#include "link/downloadcontroller.h"
#include "link/linkcodec.h"
#include "sim/simulator.h"

namespace vkt {
namespace {

int argc = 1;
char arg0[] = "sim_endtoend_test";
char* argv[] = {arg0, nullptr};

bool wait_until(const std::function<bool()>& done, int ms) {
  QDeadlineTimer deadline(ms);
  while (!done()) {
    if (deadline.hasExpired()) {
      return false;
    }
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  return true;
}

class EndToEnd : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (QCoreApplication::instance() == nullptr) {
      new QCoreApplication(argc, argv);
    }
  }

  // Runs one download over `ports` and waits for its end.
  void download(const QStringList& ports, unsigned answer_wait_ms = 3000, std::uint32_t chunk = 4096) {
    controller = std::make_unique<link::DownloadController>(state, ports);
    controller->SerialPort1().SetPollingDelay(5);
    controller->SerialPort1().SetInBufSize(chunk);
    controller->Session().set_answer_wait_ms(answer_wait_ms);
    controller->OnShow = [this](const link::Effect& e) {
      if (e.kind == link::Effect::Kind::ErrorBox) {
        errors.push_back(e.caption + ": " + e.text);
      } else if (e.kind == link::Effect::Kind::ProgressPosition) {
        last_progress = e.value;
      }
    };
    controller->OnFinished = [this](link::Result r) { result = r; };
    controller->Start();
    ASSERT_TRUE(wait_until([&] { return result.has_value(); }, 240000));
    controller->Close();
    EXPECT_FALSE(controller->SerialPort1().IsOpen());
  }

  // The memory image the download left matches what the simulator encoded, record by record.
  void expect_image_of(const sim::Simulator& simulator) {
    const auto& image = simulator.instrument().image();
    ASSERT_EQ(state.image_length, image.size() + 4);
    ASSERT_TRUE(std::equal(image.begin(), image.end(), state.mem_image.begin()));
    const auto& records = simulator.instrument().records();
    for (std::size_t k = 0; k < records.size(); ++k) {
      ASSERT_EQ(image::decode_record(state.mem_image, image::record_offset(k)), records[k]) << k;
    }
  }

  ProgramState state;
  std::unique_ptr<link::DownloadController> controller;
  std::vector<std::string> errors;
  std::optional<link::Result> result;
  std::uint32_t last_progress = 0;
};

sim::SimulatorOptions options(std::size_t records, sim::Fault fault = sim::Fault::None) {
  sim::SimulatorOptions o;
  o.instrument.records = records;
  o.instrument.seed = static_cast<std::uint32_t>(records);
  o.instrument.fault = fault;
  return o;
}

TEST_F(EndToEnd, ThreeRecords) {
  sim::Simulator simulator(options(3));
  const auto path = QString::fromStdString(simulator.start());
  download({path});
  EXPECT_EQ(result, link::Result::Ok);
  EXPECT_TRUE(errors.empty());
  EXPECT_EQ(state.rec_count, 3);
  EXPECT_EQ(state.device_code, 0);
  EXPECT_EQ(controller->Session().firmware_version(), "02.14.05");
  EXPECT_EQ(last_progress, link::DownloadSession::data_answer_chars(3));
  EXPECT_EQ(simulator.requests(), 2u);
  expect_image_of(simulator);
}

TEST_F(EndToEnd, FullMemoryOf438Records) {
  sim::Simulator simulator(options(438));
  const auto path = QString::fromStdString(simulator.start());
  state.mem_image.assign(state.mem_image.size(), 0xEE);
  download({path}, 3000, 8192);
  ASSERT_EQ(result, link::Result::Ok);
  EXPECT_EQ(state.rec_count, 438);
  expect_image_of(simulator);
}

TEST_F(EndToEnd, InstrumentOnTheSecondPort) {
  sim::Simulator simulator(options(2));
  const auto path = QString::fromStdString(simulator.start());
  download({QStringLiteral("/dev/no-such-serial-port"), path}, 500);
  EXPECT_EQ(result, link::Result::Ok);
  EXPECT_TRUE(errors.empty());
  expect_image_of(simulator);
}

TEST_F(EndToEnd, RestartInTheMiddleOfTheData) {
  sim::Simulator simulator(options(3, sim::Fault::RestartInData));
  download({QString::fromStdString(simulator.start())});
  EXPECT_EQ(result, link::Result::Ok);
  EXPECT_TRUE(errors.empty());
  EXPECT_EQ(simulator.requests(), 4u);  // V, Q, then V and Q again
  expect_image_of(simulator);
}

TEST_F(EndToEnd, FaultsEndWithTheirMessage) {
  struct Case {
    sim::Fault fault;
    std::string error;
  };
  const std::vector<Case> cases = {
      {sim::Fault::IdentificationChecksum, "Error: Ошибка передачи данных!"},
      {sim::Fault::DataChecksum, "Error: Ошибка передачи данных!"},
      {sim::Fault::WrongType, "Error: Вы подключили не тот прибор !"},
      {sim::Fault::EmptyHeader, "Error: Нет данных для передачи!"},
      {sim::Fault::Silence,
       "Ошибка: Прибор не обнаружен! Проверте правильность подключения согласно инструкции!"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(sim::fault_name(c.fault)));
    sim::Simulator simulator(options(2, c.fault));
    errors.clear();
    result.reset();
    state.image_length = 0;
    download({QString::fromStdString(simulator.start())}, 500);
    EXPECT_EQ(result, link::Result::Cancel);
    EXPECT_EQ(errors, std::vector<std::string>{c.error});
    EXPECT_EQ(state.image_length, 0u);
  }
}

TEST_F(EndToEnd, GarbageAfterTheAnswersIsHarmless) {
  sim::Simulator simulator(options(2, sim::Fault::GarbageAfterEnd));
  download({QString::fromStdString(simulator.start())});
  EXPECT_EQ(result, link::Result::Ok);
  expect_image_of(simulator);
}

TEST_F(EndToEnd, InstrumentVanishingMidwayEndsTheDownload) {
  auto o = options(3);
  o.throttle = true;  // the data answer takes some 14 s at the line's pace
  sim::Simulator simulator(o);
  controller = std::make_unique<link::DownloadController>(
      state, QStringList{QString::fromStdString(simulator.start())});
  controller->SerialPort1().SetPollingDelay(5);
  controller->OnShow = [this](const link::Effect& e) {
    if (e.kind == link::Effect::Kind::ErrorBox) {
      errors.push_back(e.text);
    }
  };
  controller->OnFinished = [this](link::Result r) { result = r; };
  controller->Start();
  ASSERT_TRUE(wait_until(
      [&] {
        return controller->Session().phase() == link::DownloadSession::Phase::Data &&
               controller->Session().rx_count() > 100;
      },
      60000));
  simulator.stop();
  ASSERT_TRUE(wait_until([&] { return result.has_value(); }, 60000));
  EXPECT_EQ(result, link::Result::Cancel);
  EXPECT_EQ(errors, std::vector<std::string>{"Ошибка передачи данных!"});
  EXPECT_FALSE(controller->SerialPort1().IsOpen());
}

}  // namespace
}  // namespace vkt
