// The subcommands as a user runs them: the real executable against a simulated instrument.

#include <gtest/gtest.h>

#include <QByteArray>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <map>
#include <memory>
#include <optional>
#include <tuple>

#include "image/imagelayout.h"
#include "sim/measurements.h"
#include "store/dbf/table.h"
#include "store/measurement/evaluation.h"
#include "store/measurement/measurementdocument.h"
#include "store/measurement/measurementschema.h"

#ifdef Q_OS_UNIX
#include <signal.h>
#endif

namespace vkt {
namespace {

constexpr int kLongWaitMs = 120000;

struct Outcome {
  int code = -1;
  QString out;
  QString err;
};

QProcessEnvironment environment(const QString& config_dir) {
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("XDG_CONFIG_HOME"), config_dir);
  return env;
}

class Cli : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    QDir(dir_.path()).mkpath(QStringLiteral("config"));
  }
  void TearDown() override {
    for (auto& sim : simulators_) {
      sim->kill();
      sim->waitForFinished(kLongWaitMs);
    }
  }

  QString path(const QString& name) const { return dir_.filePath(name); }

  Outcome run(const QStringList& args) {
    QProcess p;
    p.setProcessEnvironment(environment(path(QStringLiteral("config"))));
    p.start(QStringLiteral(VKT_EXE), args);
    EXPECT_TRUE(p.waitForFinished(kLongWaitMs)) << args.join(' ').toStdString();
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
  }

  // Starts `vkt-rs7 simulate` and returns the terminal it serves on.
  QString simulate(const QStringList& args) {
    auto p = std::make_unique<QProcess>();
    p->setProcessEnvironment(environment(path(QStringLiteral("config"))));
    p->start(QStringLiteral(VKT_EXE), QStringList{QStringLiteral("simulate")} + args);
    QElapsedTimer clock;
    clock.start();
    while (!p->canReadLine() && clock.elapsed() < kLongWaitMs && p->state() != QProcess::NotRunning) {
      p->waitForReadyRead(1000);
    }
    const QString line = QString::fromUtf8(p->readLine()).trimmed();
    EXPECT_FALSE(line.isEmpty()) << QString::fromUtf8(p->readAllStandardError()).toStdString();
    simulators_.push_back(std::move(p));
    return line;
  }

  QJsonArray dump_json(const QString& file) {
    const Outcome r = run({QStringLiteral("dump"), QStringLiteral("--format"), QStringLiteral("json"), file});
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(r.out.toUtf8(), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << r.out.toStdString();
    return doc.array();
  }

  // The text of a PDF file as `pdftotext -layout` reads it, pages ended by form feeds; nothing
  // when pdftotext is not installed.
  static std::optional<QString> pdf_text(const QString& pdf) {
    QProcess text;
    text.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
    if (!text.waitForStarted(kLongWaitMs)) {
      return std::nullopt;
    }
    EXPECT_TRUE(text.waitForFinished(kLongWaitMs));
    return QString::fromUtf8(text.readAllStandardOutput());
  }

  QTemporaryDir dir_;
  std::vector<std::unique_ptr<QProcess>> simulators_;
};

QByteArray contents(const QString& file) {
  QFile f(file);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QString two(int v) {
  return QStringLiteral("%1").arg(v, 2, 10, QLatin1Char('0'));
}

// The row the import makes of a measurement, as the dump shows it.
void expect_row(const QJsonObject& row, const image::DeviceARecord& m, int n) {
  EXPECT_EQ(row["N"].toDouble(), n);
  EXPECT_EQ(row["DATE"].toString(),
            two(m.date.day) + '.' + two(m.date.month) + '.' + QString::number(2000 + m.date.year));
  EXPECT_EQ(row["TIME"].toString(),
            two(m.time.hours) + ':' + two(m.time.minutes) + ':' + two(m.time.seconds));
  EXPECT_EQ(row["P5"].toString().toStdString(), image::kDependencyNames.at(m.dependency));
  EXPECT_EQ(row["D2"].toString().toStdString(), image::kMaterialNames.at(m.material));
  EXPECT_EQ(row["P3"].toString(), QString::number(m.mu / 100.0));
  const char* modulus[] = {"D9", "P", "R", "T"};
  const char* displacement[] = {"P10", "P9", "P2", "P4"};
  const char* force[] = {"D3", "D4", "D5", "D6"};
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(row[modulus[i]].toDouble(), m.modulus[i]) << modulus[i];
    EXPECT_EQ(row[displacement[i]].toDouble(), m.displacement[i]) << displacement[i];
    EXPECT_EQ(row[force[i]].toDouble(), m.force[i]) << force[i];
  }
  EXPECT_TRUE(row["COMMENT"].isNull());
}

TEST_F(Cli, DownloadDumpsTheSimulatorsMeasurementsAndAppendingAgainAddsNothing) {
  const QString db = path(QStringLiteral("field.db"));
  const QString port = simulate({"--records", "7", "--seed", "42", "--once"});
  Outcome r = run({"download", "--port", port, db});
  ASSERT_EQ(r.code, 0) << r.err.toStdString();
  EXPECT_TRUE(r.out.contains(QStringLiteral("Добавлено строк: 7, пропущено: 0"))) << r.out.toStdString();
  EXPECT_TRUE(r.err.contains(QStringLiteral("Количество записей: 7")));
  EXPECT_TRUE(r.err.contains(QStringLiteral("100%")));  // plain progress lines: stderr is no terminal
  ASSERT_TRUE(simulators_.back()->waitForFinished(kLongWaitMs));  // --once: it ends by itself
  EXPECT_EQ(simulators_.back()->exitCode(), 0);

  const auto measurements = sim::make_measurements(7, 42);
  const QJsonArray rows = dump_json(db);
  ASSERT_EQ(rows.size(), 7);
  for (int k = 0; k < 7; ++k) {
    SCOPED_TRACE(k);
    expect_row(rows[k].toObject(), measurements[std::size_t(k)], k + 1);
  }

  // The same memory again: every measurement is already in the file.
  const QByteArray before = contents(db);
  r = run({"download", "--append", "--port", simulate({"--records", "7", "--seed", "42"}), db});
  ASSERT_EQ(r.code, 0) << r.err.toStdString();
  EXPECT_TRUE(r.out.contains(QStringLiteral("Добавлено строк: 0, пропущено: 7"))) << r.out.toStdString();
  EXPECT_EQ(contents(db), before);
  EXPECT_EQ(dump_json(db).size(), 7);

  // Other measurements, later than the file's last row, are appended after the rows there.
  auto key = [](const image::DeviceARecord& m) {
    return std::tuple(m.date.year, m.date.month, m.date.day, m.time.hours, m.time.minutes, m.time.seconds);
  };
  std::uint32_t seed = 1;
  while (key(sim::make_measurements(1, seed)[0]) <= key(measurements.back())) {
    ASSERT_LT(++seed, 10000u);
  }
  r = run(
      {"download", "--append", "--port", simulate({"--records", "3", "--seed", QString::number(seed)}), db});
  ASSERT_EQ(r.code, 0) << r.err.toStdString();
  EXPECT_TRUE(r.out.contains(QStringLiteral("Добавлено строк: 3, пропущено: 0"))) << r.out.toStdString();
  const auto later = sim::make_measurements(3, seed);
  const QJsonArray all = dump_json(db);
  ASSERT_EQ(all.size(), 10);
  for (int k = 0; k < 3; ++k) {
    expect_row(all[7 + k].toObject(), later[std::size_t(k)], k + 1);
  }
  EXPECT_FALSE(QFile::exists(path(QStringLiteral("field.mdx"))));
  EXPECT_FALSE(QFile::exists(db + QStringLiteral(".part")));

  // The waveforms came with every download: each drop peaks at its own stored displacement.
  const QString csv = path(QStringLiteral("waves.csv"));
  r = run({"export", "--waveforms", "--separator", ";", "--decimal", ".", db, csv});
  ASSERT_EQ(r.code, 0) << r.err.toStdString();
  const QStringList lines =
      QString::fromUtf8(contents(csv)).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
  ASSERT_EQ(lines.size(), 1 + 10 * 3 * 510);
  std::map<std::pair<int, int>, double> peak;  // by point and drop, of the first download
  for (qsizetype i = 1; i <= 7 * 3 * 510; ++i) {
    const QStringList cells = lines[i].split(';');
    auto& p = peak[{cells[0].toInt(), cells[1].toInt()}];
    p = std::max(p, cells[3].toDouble());
  }
  for (int k = 0; k < 7; ++k) {
    for (int drop = 1; drop <= 3; ++drop) {
      const double stored = measurements[std::size_t(k)].displacement[std::size_t(drop)];
      EXPECT_NEAR(peak[std::pair(k + 1, drop)], stored, 0.5) << k << " " << drop;
    }
  }
}

TEST_F(Cli, AnExistingFileIsReplacedOnlyWithForceAndPortsComeFromTheSettings) {
  const QString db = path(QStringLiteral("kept.db"));
  QFile f(db);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write("measurements of last year");
  f.close();

  // Refused before any exchange: the simulator sees no request and the file stays.
  const QString port = simulate({"--records", "2"});
  Outcome r = run({"download", "--port", port, db});
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(r.err.contains("--force")) << r.err.toStdString();
  EXPECT_FALSE(r.err.contains(QStringLiteral("Ожидание")));
  EXPECT_EQ(contents(db), QByteArray("measurements of last year"));

  // No --port: the ports of the settings are used.
  QDir(path("config")).mkpath("Tervolin");
  QFile conf(path("config/Tervolin/ZRM.conf"));
  ASSERT_TRUE(conf.open(QIODevice::WriteOnly));
  conf.write("[1.0]\nPorts=" + port.toUtf8() + "\n");
  conf.close();
  r = run({"download", "--force", db});
  ASSERT_EQ(r.code, 0) << r.err.toStdString();
  EXPECT_EQ(dump_json(db).size(), 2);
}

TEST_F(Cli, TheAutomaticSearchStartsWhereTheInstrumentAnsweredAndSaysWhyItFoundNone) {
  const Outcome listed = run({"ports"});
  EXPECT_EQ(listed.code, 0) << listed.err.toStdString();
  EXPECT_FALSE(listed.out.isEmpty());

  // The port a download found the instrument on is the first the search tries next time; the
  // search is what --port auto and no --port at all ask for.
  const QString port = simulate({"--records", "2"});
  ASSERT_EQ(run({"download", "--port", port, path("first.db")}).code, 0);
  for (const QStringList& args : {QStringList{"download", "--port", "auto", path("auto.db")},
                                  QStringList{"download", path("default.db")}}) {
    const Outcome r = run(args);
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(dump_json(args.last()).size(), 2);
  }

  // The remembered port is gone: the message says so before the usual text.
  QFile conf(path("config/Tervolin/ZRM.conf"));
  ASSERT_TRUE(conf.open(QIODevice::WriteOnly));
  conf.write("[1.0]\nLast_port=" + path("unplugged").toUtf8() + "\n");
  conf.close();
  const Outcome r = run({"download", path("none.db")});
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(r.err.contains(QStringLiteral("Опрошены порты:\n") + path("unplugged") +
                             QStringLiteral(": нет такого порта\n")))
      << r.err.toStdString();
  EXPECT_TRUE(r.err.contains(
      QStringLiteral("\n\nПрибор не обнаружен! Проверте правильность подключения согласно инструкции!")));
  EXPECT_FALSE(QFile::exists(path("none.db")));
}

TEST_F(Cli, EveryFailedExchangeGivesItsMessageAndCreatesNoFile) {
  const std::vector<std::pair<QString, QString>> faults = {
      {"checksum-id", QStringLiteral("Ошибка передачи данных!")},
      {"checksum-data", QStringLiteral("Ошибка передачи данных!")},
      {"type2", QStringLiteral("Вы подключили не тот прибор !")},
      {"empty-header", QStringLiteral("Нет данных для передачи!")},
      {"silence",
       QStringLiteral("Прибор не обнаружен! Проверте правильность подключения согласно инструкции!")},
  };
  for (const auto& [fault, message] : faults) {
    SCOPED_TRACE(fault.toStdString());
    const QString db = path(fault + ".db");
    const Outcome r = run({"download", "--port", simulate({"--records", "3", "--fault", fault}), db});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err.contains(message)) << r.err.toStdString();
    EXPECT_FALSE(QFile::exists(db));
    EXPECT_FALSE(QFile::exists(db + ".part"));
  }

  // A port where nothing answers, and an append that fails, leave the file as it was.
  const QString db = path(QStringLiteral("kept.db"));
  ASSERT_EQ(run({"download", "--port", simulate({"--records", "2", "--seed", "3"}), db}).code, 0);
  const QByteArray before = contents(db);
  const Outcome r = run({"download", "--append", "--port", path("no-such-port"), db});
  EXPECT_EQ(r.code, 1);
  // A named port that is not there is left at once, with its reason.
  EXPECT_TRUE(r.err.contains(QStringLiteral("Поиск прибора: порт ") + path("no-such-port") + "\n"))
      << r.err.toStdString();
  EXPECT_TRUE(
      r.err.contains(path("no-such-port") + QStringLiteral(": нет такого порта\n\nПрибор не обнаружен!")))
      << r.err.toStdString();
  EXPECT_EQ(contents(db), before);

  // Faults the exchange recovers from still give the whole memory.
  for (const QString fault : {"restart", "garbage"}) {
    SCOPED_TRACE(fault.toStdString());
    const QString ok = path(fault + ".db");
    const Outcome done = run({"download", "--port", simulate({"--records", "4", "--fault", fault}), ok});
    EXPECT_EQ(done.code, 0) << done.err.toStdString();
    EXPECT_EQ(dump_json(ok).size(), 4);
  }
}

#ifdef Q_OS_UNIX
TEST_F(Cli, CtrlCCancelsTheDownloadAndWritesNothing) {
  const QString db = path(QStringLiteral("cancelled.db"));
  const QString port = simulate({"--records", "40", "--throttle"});
  QProcess p;
  p.setProcessEnvironment(environment(path("config")));
  p.start(QStringLiteral(VKT_EXE), {"download", "--port", port, db});
  QString err;
  QElapsedTimer clock;
  clock.start();
  while (!err.contains(QStringLiteral("Идет прием")) && clock.elapsed() < kLongWaitMs) {
    p.waitForReadyRead(500);
    err += QString::fromUtf8(p.readAllStandardError());
  }
  ASSERT_TRUE(err.contains(QStringLiteral("Идет прием"))) << err.toStdString();
  ::kill(pid_t(p.processId()), SIGINT);
  ASSERT_TRUE(p.waitForFinished(kLongWaitMs));
  err += QString::fromUtf8(p.readAllStandardError());
  EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(p.exitCode(), 1);
  EXPECT_TRUE(err.contains(QStringLiteral("Отмена"))) << err.toStdString();
  EXPECT_FALSE(QFile::exists(db));
  EXPECT_FALSE(QFile::exists(db + ".part"));
}
#endif

TEST_F(Cli, ExportIsReadBackWithTheSheetNameHeadersValuesAndTypes) {
  const QString db = path(QStringLiteral("field.db"));
  ASSERT_EQ(run({"download", "--port", simulate({"--records", "5", "--seed", "9"}), db}).code, 0);
  const QString xls = path(QStringLiteral("field.xls"));
  Outcome r = run({"export", db, xls});
  ASSERT_EQ(r.code, 0) << r.err.toStdString();

  QProcess py;
  py.start(QStringLiteral("/usr/bin/python3"),
           {QStringLiteral(VKT_SOURCE_DIR "/tests/app/read_xls.py"), xls});
  ASSERT_TRUE(py.waitForFinished(kLongWaitMs));
  ASSERT_EQ(py.exitCode(), 0) << py.readAllStandardError().toStdString();
  const QJsonArray sheets = QJsonDocument::fromJson(py.readAllStandardOutput()).array();
  ASSERT_EQ(sheets.size(), 1);
  const QJsonObject sheet = sheets[0].toObject();
  EXPECT_EQ(sheet["name"].toString(), QStringLiteral("ВКТ-РС7"));
  const QJsonArray rows = sheet["rows"].toArray();
  ASSERT_EQ(rows.size(), 6);
  const QJsonArray header = rows[0].toArray();
  ASSERT_EQ(header.size(), 19);
  EXPECT_EQ(header[3].toArray()[1].toString(), QStringLiteral("Вид зависимости"));
  EXPECT_EQ(header[5].toArray()[1].toString(), QString(QChar(0x00B5)));
  EXPECT_EQ(header[14].toArray()[1].toString(), QStringLiteral("Сила удара Fmax.ср, ") + QLatin1Char('H'));
  EXPECT_EQ(header[15].toArray()[1].toString(), QStringLiteral("Сила удара Fmax1, H"));

  const auto measurements = sim::make_measurements(5, 9);
  constexpr int kText = 1;
  constexpr int kNumber = 2;
  constexpr int kBlank[] = {0, 6};  // xlrd: empty, blank
  for (int k = 0; k < 5; ++k) {
    SCOPED_TRACE(k);
    const QJsonArray row = rows[k + 1].toArray();
    const auto& m = measurements[std::size_t(k)];
    auto cell = [&row](int c) { return row[c].toArray(); };
    EXPECT_EQ(cell(0)[0].toInt(), kNumber);
    EXPECT_EQ(cell(0)[1].toDouble(), k + 1);
    for (int c : {1, 2, 3, 4, 5}) {
      EXPECT_EQ(cell(c)[0].toInt(), kText) << c;
    }
    EXPECT_EQ(cell(4)[1].toString().toStdString(), image::kMaterialNames.at(m.material));
    EXPECT_EQ(cell(6)[1].toDouble(), m.modulus[0]);
    EXPECT_EQ(cell(7)[1].toDouble(), m.modulus[1]);
    EXPECT_EQ(cell(10)[1].toDouble(), m.displacement[0]);
    EXPECT_EQ(cell(17)[1].toDouble(), m.force[3]);
    for (int c = 6; c <= 17; ++c) {
      EXPECT_EQ(cell(c)[0].toInt(), kNumber) << c;
    }
    if (row.size() > 18) {
      const int type = cell(18)[0].toInt();
      EXPECT_TRUE(type == kBlank[0] || type == kBlank[1]) << type;
    }
  }

  // An existing workbook is replaced; the table is only read.
  const QByteArray table_before = contents(db);
  r = run({"export", "--kind", "B", db, xls});
  ASSERT_EQ(r.code, 0) << r.err.toStdString();
  EXPECT_EQ(contents(db), table_before);
}

TEST_F(Cli, DumpSortsThroughTheIndexAndLeavesNoIndexFileBehind) {
  const QString db = path(QStringLiteral("sorted.db"));
  ASSERT_EQ(run({"download", "--port", simulate({"--records", "12", "--seed", "5"}), db}).code, 0);
  Outcome r = run({"dump", "--sort", "D9:desc", "--format", "json", db});
  ASSERT_EQ(r.code, 0) << r.err.toStdString();
  const QJsonArray rows = QJsonDocument::fromJson(r.out.toUtf8()).array();
  ASSERT_EQ(rows.size(), 12);
  std::vector<int> moduli;
  for (const auto& row : rows) {
    moduli.push_back(row.toObject()["D9"].toInt());
  }
  EXPECT_TRUE(std::is_sorted(moduli.rbegin(), moduli.rend()));
  auto expected = sim::make_measurements(12, 5);
  std::vector<int> all;
  for (const auto& m : expected) {
    all.push_back(m.modulus[0]);
  }
  std::sort(all.rbegin(), all.rend());
  EXPECT_EQ(moduli, all);
  EXPECT_FALSE(QFile::exists(path(QStringLiteral("sorted.mdx"))));

  // A text wider than an index key cannot be sorted on: the index engine's message.
  r = run({"dump", "--sort", "P5", db});
  EXPECT_EQ(r.code, 1);
  EXPECT_FALSE(r.err.isEmpty());
  EXPECT_FALSE(QFile::exists(path(QStringLiteral("sorted.mdx"))));

  // CSV: the grid's titles of the shown columns.
  r = run({"dump", db});
  ASSERT_EQ(r.code, 0);
  const QStringList lines = r.out.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
  ASSERT_EQ(lines.size(), 13);
  EXPECT_TRUE(
      lines[0].startsWith(QStringLiteral("N,Дата,Время,Зависимость,Материал,µ,\"Модуль упругости, Fср")));
  EXPECT_TRUE(lines[0].endsWith(QStringLiteral(",Примечание")));
  EXPECT_FALSE(lines[0].contains(QStringLiteral("Вид прозвучивания")));
}

TEST_F(Cli, DamagedLockedOrMissingFilesSayWhichItIs) {
  const QString damaged = path(QStringLiteral("damaged.db"));
  QFile f(damaged);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(QByteArray(700, '\x03'));
  f.close();
  const QString missing = path(QStringLiteral("missing.db"));
  const QString good = path(QStringLiteral("good.db"));
  ASSERT_EQ(run({"download", "--port", simulate({"--records", "1"}), good}).code, 0);

  dbf::Table holder;
  holder.open(std::filesystem::path(good.toStdString()));  // another program has it open
  const std::vector<std::pair<QString, QString>> cases = {
      {damaged, QStringLiteral("База данных повреждена !")},
      {missing, QStringLiteral("не найден")},
      {good, QStringLiteral("открыт другой программой")}};
  for (const auto& [file, message] : cases) {
    for (const QStringList& args : {QStringList{"dump", file}, QStringList{"export", file, path("out.xls")},
                                    QStringList{"download", "--append", "--port", path("none"), file}}) {
      SCOPED_TRACE(args.join(' ').toStdString());
      const Outcome r = run(args);
      EXPECT_EQ(r.code, 1);
      EXPECT_TRUE(r.err.contains(message)) << r.err.toStdString();
      EXPECT_FALSE(QFile::exists(path("out.xls")));
    }
  }
  EXPECT_FALSE(QFile::exists(missing));
}

TEST_F(Cli, WritersRefuseTheirInputAndDamagedFilesBeforeWritingAnything) {
  const QString db = path(QStringLiteral("g.db"));
  ASSERT_EQ(run({"download", "--port", simulate({"--records", "3", "--once"}), db}).code, 0);
  const QByteArray good = contents(db);
  QFile::link(db, path(QStringLiteral("link.db")));
  QDir(dir_.path()).mkpath(QStringLiteral("sub"));
  const QStringList outputs = {db, path(QStringLiteral("link.db")), path(QStringLiteral("sub/../g.db"))};
  for (const QString& output : outputs) {
    for (const char* command : {"export", "report"}) {
      SCOPED_TRACE(std::string(command) + " " + output.toStdString());
      const Outcome r = run({command, db, output});
      EXPECT_EQ(r.code, 1);
      EXPECT_TRUE(r.err.contains(QStringLiteral("это сам файл измерений"))) << r.err.toStdString();
      EXPECT_EQ(contents(db), good);
    }
  }

  // A header that under-counts its records, and a first row the readers cannot read.
  QByteArray undercount = good;
  undercount[4] = 1;
  QByteArray bad_type = good;
  bad_type.replace(measurement::kHeaderLength + 37, 4, "abcd");
  for (const QByteArray& bytes : {undercount, bad_type}) {
    const QString file = path(QStringLiteral("damaged.db"));
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
    f.close();
    for (const QStringList& args : {QStringList{"dump", file}, QStringList{"report", file, path("o.pdf")},
                                    QStringList{"download", "--append", "--port", path("none"), file}}) {
      SCOPED_TRACE(args.join(' ').toStdString());
      const Outcome r = run(args);
      EXPECT_EQ(r.code, 1);
      EXPECT_TRUE(r.err.contains(QStringLiteral("База данных повреждена !"))) << r.err.toStdString();
      EXPECT_FALSE(r.err.contains(QStringLiteral("Ожидание"))) << "the download began";
      EXPECT_EQ(contents(file), bytes);
    }
  }
}

TEST_F(Cli, AppendingThroughASymlinkUpdatesTheFileItNames) {
  QDir(dir_.path()).mkpath(QStringLiteral("real"));
  const QString real = path(QStringLiteral("real/data.db"));
  ASSERT_EQ(run({"download", "--port", simulate({"--records", "2", "--seed", "5", "--once"}), real}).code, 0);
  const QString link = path(QStringLiteral("link.db"));
  ASSERT_TRUE(QFile::link(QStringLiteral("real/data.db"), link));
  std::uint32_t seed = 1;
  const auto last = sim::make_measurements(2, 5).back();
  auto key = [](const image::DeviceARecord& m) {
    return std::tuple(m.date.year, m.date.month, m.date.day, m.time.hours, m.time.minutes, m.time.seconds);
  };
  while (key(sim::make_measurements(1, seed)[0]) <= key(last)) {
    ASSERT_LT(++seed, 10000u);
  }
  const Outcome r = run({"download", "--append", "--port",
                         simulate({"--records", "1", "--seed", QString::number(seed)}), link});
  ASSERT_EQ(r.code, 0) << r.err.toStdString();
  EXPECT_TRUE(QFileInfo(link).isSymLink());
  EXPECT_EQ(dump_json(real).size(), 3);
  // The waveform file beside the file itself, and nothing left over.
  EXPECT_EQ(QDir(path(QStringLiteral("real"))).entryList(QDir::Files | QDir::Hidden),
            (QStringList{"data.db", "data.vkw"}));
  EXPECT_FALSE(QFile::exists(path(QStringLiteral("link.vkw"))));
}

TEST_F(Cli, UsageErrorsExitWithTwoAndHelpWithZero) {
  const std::vector<QStringList> wrong = {
      {"download"},
      {"download", "a.db", "b.db"},
      {"download", "--append", "--force", "a.db"},
      {"download", "--port"},
      {"export", "a.db"},
      {"export", "--kind", "C", "a.db", "a.xls"},
      {"dump", "--format", "xml", "a.db"},
      {"dump", "--sort", ":desc", "a.db"},
      {"dump", "--colour", "a.db"},
      {"simulate", "--fault", "smoke"},
      {"simulate", "--records", "439"},
      {"simulate", "--seed", "-1"},
      {"simulate", "extra"},
      {"frobnicate"},
  };
  for (const auto& args : wrong) {
    SCOPED_TRACE(args.join(' ').toStdString());
    const Outcome r = run(args);
    EXPECT_EQ(r.code, 2);
    EXPECT_TRUE(r.err.contains(QStringLiteral("Использование"))) << r.err.toStdString();
    EXPECT_TRUE(r.out.isEmpty());
  }
  const Outcome no_field = run({"dump", "--sort", "NOSUCH", path("x.db")});
  EXPECT_NE(no_field.code, 0);

  for (const QString sub : {"download", "export", "dump", "simulate"}) {
    const Outcome r = run({sub, "--help"});
    EXPECT_EQ(r.code, 0);
    EXPECT_TRUE(r.out.startsWith(QStringLiteral("Использование: vkt-rs7 ") + sub)) << r.out.toStdString();
  }
  const Outcome help = run({"--help"});
  for (const QString sub : {"download", "export", "dump", "simulate", "--demo"}) {
    EXPECT_TRUE(help.out.contains(sub)) << sub.toStdString();
  }
  EXPECT_TRUE(run({"simulate", "--help"}).out.contains("checksum-data"));
}

TEST_F(Cli, ReportWritesThePagesAsPdfAndRefusesADamagedFile) {
  const QString db = path(QStringLiteral("field.db"));
  ASSERT_EQ(run({"download", "--port", simulate({"--records", "20", "--seed", "3"}), db}).code, 0);
  const QString pdf = path(QStringLiteral("field.pdf"));
  Outcome r = run({"report", db, pdf});
  ASSERT_EQ(r.code, 0) << r.err.toStdString();

  const std::optional<QString> text = pdf_text(pdf);
  if (!text) {
    GTEST_SKIP() << "pdftotext is not installed";
  }
  const QString& pages = *text;
  // Twenty rows of a landscape device A report take two pages.
  EXPECT_TRUE(pages.contains(QStringLiteral("Стр. 1 из 2"))) << pages.toStdString();
  EXPECT_TRUE(pages.contains(QStringLiteral("Стр. 2 из 2")));
  const QJsonArray rows = dump_json(db);
  ASSERT_EQ(rows.size(), 20);
  EXPECT_TRUE(pages.contains(rows[0].toObject()["DATE"].toString()));
  EXPECT_TRUE(pages.contains(rows[19].toObject()["TIME"].toString()));

  QFile bad(path(QStringLiteral("bad.db")));
  ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
  bad.write("not a table");
  bad.close();
  r = run({"report", bad.fileName(), path(QStringLiteral("bad.pdf"))});
  EXPECT_EQ(r.code, 1);
  EXPECT_FALSE(QFile::exists(path(QStringLiteral("bad.pdf"))));
  EXPECT_EQ(run({"report", db}).code, 2);
}

TEST_F(Cli, DumpDerivedAddsTheWaveformValuesAndTheVerdictOnlyWhenAsked) {
  const QString db = path(QStringLiteral("derived.db"));
  ASSERT_EQ(run({"download", "--port", simulate({"--records", "4", "--seed", "11"}), db}).code, 0);
  const auto measurements = sim::make_measurements(4, 11);
  const int required = measurements[1].modulus[0];
  {
    measurement::MeasurementDocument document;
    document.open(db.toStdString());
    measurement::ObjectParameters parameters;
    parameters.required_modulus = required;
    document.set_object_parameters(parameters);
  }
  {
    // A row whose time no longer matches its waveforms: it has none.
    dbf::Table table;
    table.open(db.toStdString());
    ASSERT_TRUE(table.go_to(3));
    table.edit();
    table.set_text("TIME", "00:00:00");
    table.post();
  }
  std::vector<measurement::PointEvaluation> expected;
  {
    measurement::MeasurementDocument document;
    document.open(db.toStdString(), measurement::Access::ReadOnly);
    for (std::uint32_t recno = 1; recno <= 4; ++recno) {
      expected.push_back(measurement::evaluate_row(document, recno, std::nullopt));
    }
  }
  ASSERT_FALSE(expected[2].drops);

  // Without --derived, the columns are those of the grid alone.
  Outcome r = run({"dump", db});
  ASSERT_EQ(r.code, 0) << r.err.toStdString();
  EXPECT_TRUE(r.out.section(QStringLiteral("\r\n"), 0, 0).endsWith(QStringLiteral(",Примечание")));

  r = run({"dump", "--derived", "--format", "json", db});
  ASSERT_EQ(r.code, 0) << r.err.toStdString();
  const QJsonArray rows = QJsonDocument::fromJson(r.out.toUtf8()).array();
  ASSERT_EQ(rows.size(), 4);
  int passing = 0;
  for (int i = 0; i < 4; ++i) {
    const QJsonObject row = rows[i].toObject();
    const measurement::PointEvaluation& point = expected[static_cast<std::size_t>(i)];
    EXPECT_EQ(row["D9"].toInt(), measurements[static_cast<std::size_t>(i)].modulus[0]);
    if (!point.drops) {
      for (const char* name : {"SV_MS", "PULSE1_MS", "PULSE2_MS", "PULSE3_MS", "FLAGS", "VERDICT"}) {
        EXPECT_TRUE(row[name].isNull()) << name;
      }
      continue;
    }
    ASSERT_TRUE(point.s_over_v_ms);
    EXPECT_NEAR(row["SV_MS"].toDouble(), *point.s_over_v_ms, 0.005);
    for (std::size_t k = 0; k < 3; ++k) {
      const std::string name = "PULSE" + std::to_string(k + 1) + "_MS";
      ASSERT_TRUE((*point.drops)[k].pulse_ms);
      EXPECT_NEAR(row[name.c_str()].toDouble(), *(*point.drops)[k].pulse_ms, 0.005) << name;
    }
    EXPECT_EQ(row["FLAGS"].isString(), point.implausible()) << i;
    const bool passes = row["D9"].toInt() >= required;
    passing += passes ? 1 : 0;
    EXPECT_EQ(row["VERDICT"].toString(),
              passes ? QStringLiteral("соответствует") : QStringLiteral("не соответствует"));
  }

  // CSV, sorted: the titles after the grid's, the same verdicts, the highest modulus first.
  r = run({"dump", "--derived", "--sort", "D9:desc", db});
  ASSERT_EQ(r.code, 0) << r.err.toStdString();
  const QStringList lines = r.out.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
  ASSERT_EQ(lines.size(), 5);
  EXPECT_TRUE(lines[0].endsWith(
      QStringLiteral(",Примечание,\"s/v, мс\",\"Импульс 1, мс\",\"Импульс 2, мс\",\"Импульс 3, мс\","
                     "Недостоверность,Заключение")));
  EXPECT_EQ(lines.filter(QRegularExpression(QStringLiteral(",соответствует$"))).size(), passing);
  int highest = 0;
  for (const auto& m : measurements) {
    highest = std::max<int>(highest, m.modulus[0]);
  }
  EXPECT_EQ(lines[1].section(QLatin1Char(','), 6, 6), QString::number(highest));
}

TEST_F(Cli, ProtocolHasAPagePerChosenPointAndASummaryAndRefusesWhatItCannotDo) {
  const QString db = path(QStringLiteral("points.db"));
  ASSERT_EQ(run({"download", "--port", simulate({"--records", "5", "--seed", "4"}), db}).code, 0);
  const QJsonArray rows = dump_json(db);
  ASSERT_EQ(rows.size(), 5);
  // The object's parameters, as the window keeps them beside the file, and the firmware the
  // download found.
  const double required = rows[3].toObject()["D9"].toDouble();
  std::string firmware;
  {
    measurement::MeasurementDocument document;
    document.open(std::filesystem::path(db.toStdString()));
    firmware = document.object_parameters().instrument_firmware;
    document.set_object_parameters({"Насыпь у моста", "Слой 3", "Иванов", "1187", required, firmware});
  }
  ASSERT_FALSE(firmware.empty());
  const QString pdf = path(QStringLiteral("points.pdf"));
  Outcome r = run({"protocol", "--rows", "2,4-5", db, pdf});
  ASSERT_EQ(r.code, 0) << r.err.toStdString();

  const std::optional<QString> text = pdf_text(pdf);
  if (!text) {
    GTEST_SKIP() << "pdftotext is not installed";
  }
  const QStringList pages = text->split(QLatin1Char('\f'));
  ASSERT_EQ(pages.size(), 5);  // three points, the summary, and the rest after the last form feed
  int passing = 0;
  for (int i = 0; i < 3; ++i) {
    const QJsonObject row = rows[std::array{1, 3, 4}[i]].toObject();
    const QString& page = pages[i];
    SCOPED_TRACE(i);
    EXPECT_TRUE(page.contains(QStringLiteral("ПРОТОКОЛ ИСПЫТАНИЯ № %1").arg(row["N"].toInt())));
    EXPECT_TRUE(page.contains(row["DATE"].toString()));
    EXPECT_TRUE(page.contains(row["TIME"].toString()));
    EXPECT_TRUE(page.contains(QStringLiteral("Насыпь у моста")));
    EXPECT_TRUE(page.contains(QStringLiteral("зав. № 1187, ПО ") + QString::fromStdString(firmware)));
    EXPECT_TRUE(page.contains(QStringLiteral("%1 МН/м²").arg(row["D9"].toInt())));
    EXPECT_TRUE(page.contains(QString::number(row["P10"].toInt())));
    const bool passes = row["D9"].toDouble() >= required;
    passing += passes ? 1 : 0;
    EXPECT_TRUE(page.contains(passes ? QStringLiteral("Заключение: соответствует")
                                     : QStringLiteral("Заключение: не соответствует")));
    EXPECT_FALSE(page.contains(QStringLiteral("Осциллограммы не сохранены")));
  }
  EXPECT_TRUE(pages[3].simplified().contains(QStringLiteral("Количество точек 3")));
  EXPECT_TRUE(pages[3].contains(QStringLiteral("%1 из 3").arg(passing)));
  // A required modulus on the command line stands for the file's.
  ASSERT_EQ(run({"protocol", "--rows", "2,4-5", "--required", "65535", db, pdf}).code, 0);
  EXPECT_TRUE(pdf_text(pdf).value_or(QString()).contains(QStringLiteral("0 из 3")));

  // Lists and numbers that make no sense are refused before the file is read.
  for (const QString list : {"", "0", "3-1", "a", "1,,2", "2-", "1-2-3"}) {
    r = run({"protocol", "--rows", list, db, path("bad.pdf")});
    EXPECT_EQ(r.code, 2) << list.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("--rows"))) << r.err.toStdString();
  }
  EXPECT_EQ(run({"protocol", "--required", "-5", db, path("bad.pdf")}).code, 2);
  // Numbers no row carries, a file without device A rows, a missing file: said, nothing written.
  r = run({"protocol", "--rows", "2,9", db, path("bad.pdf")});
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(r.err.contains(QStringLiteral("нет строк ВКТ-РС7 с номерами N: 9"))) << r.err.toStdString();
  const QString pulloff = path(QStringLiteral("pulloff.db"));
  {
    dbf::Table t;
    t.create(pulloff.toStdString(), measurement::measurement_field_specs());
    t.append();
    t.set_double("N", 1);
    t.set_integer("NB_TYPE", 1);
    t.set_double("P", 3.5);
    t.post();
  }
  r = run({"protocol", pulloff, path("bad.pdf")});
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(r.err.contains(QStringLiteral("нет измерений ВКТ-РС7"))) << r.err.toStdString();
  r = run({"protocol", path("missing.db"), path("bad.pdf")});
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(r.err.contains(QStringLiteral("не найден"))) << r.err.toStdString();
  EXPECT_FALSE(QFile::exists(path("bad.pdf")));
}

}  // namespace
}  // namespace vkt
