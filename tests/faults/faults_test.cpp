// A measurement file survives a kill at any moment of every write, a full disk and a read-only
// place: afterwards it is the old file byte for byte or the complete new one, and no temporary
// file left by a killed run is followed by the next. Killed during "Дополнить", the file and its
// waveform file stay a pair whose every row finds its waveforms, and the table reads, for us and
// for dbfread, as the old rows or all of them.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <thread>

#include "core/programstate.h"
#include "image/imagelayout.h"
#include "image/rowdump.h"
#include "output/export/tableexport.h"
#include "store/dbf/filereplacement.h"
#include "store/measurement/measurementdocument.h"
#include "store/measurement/measurementfile.h"
#include "store/waveform/waveformfile.h"

namespace vkt {
namespace {

namespace fs = std::filesystem;
using Op = std::function<void(const fs::path& dir)>;

constexpr int kRows = 1000;
constexpr int kTrials = 20;

std::string bytes_of(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void put_bytes(const fs::path& p, const std::string& b) {
  std::ofstream(p, std::ios::binary | std::ios::trunc)
      .write(b.data(), static_cast<std::streamsize>(b.size()));
}

void add_rows(dbf::Table& t, int from, int count) {
  for (int n = from; n < from + count; ++n) {
    t.append();
    t.set_double("N", n);
    t.set_text("DATE", "12.05.2011");
    t.set_text("TIME", "10:00:00");
    t.set_double("P", n * 1.5);
    t.set_text("COMMENT", "строка " + std::to_string(n));
    t.post();
  }
}

// A measurement file of kRows rows, every tenth one marked deleted.
std::string sample_file(const fs::path& dir) {
  const fs::path p = dir / "sample.db";
  {
    dbf::Table t;
    measurement::create_measurement_file(t, p);
    add_rows(t, 1, kRows);
    for (std::uint32_t r = 10; r <= kRows; r += 10) {
      t.delete_record(r);
    }
  }
  std::string b = bytes_of(p);
  fs::remove(p);
  return b;
}

class ScratchDir {
 public:
  ScratchDir() {
    char name[] = "/tmp/vkt-faults-XXXXXX";
    path_ = ::mkdtemp(name);
  }
  ~ScratchDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

// Starts op in a child process.
pid_t start_child(const Op& op, const fs::path& dir) {
  const pid_t child = ::fork();
  if (child == 0) {
    try {
      op(dir);
    } catch (...) {
      ::_exit(3);
    }
    ::_exit(0);
  }
  return child;
}

// Runs op in a child process and ends it with SIGKILL after `delay`; false when it finished first.
bool run_and_kill(const Op& op, const fs::path& dir, std::chrono::microseconds delay) {
  const pid_t child = start_child(op, dir);
  std::this_thread::sleep_for(delay);
  ::kill(child, SIGKILL);
  int status = 0;
  ::waitpid(child, &status, 0);
  return WIFSIGNALED(status);
}

// Runs op in a child process to its end; true when a signal ended it.
bool run_to_its_end(const Op& op, const fs::path& dir) {
  const pid_t child = start_child(op, dir);
  int status = 0;
  ::waitpid(child, &status, 0);
  return WIFSIGNALED(status);
}

std::chrono::microseconds time_of(const Op& op, const fs::path& dir) {
  const auto start = std::chrono::steady_clock::now();
  op(dir);
  return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start);
}

// The kill trials of one write: `target` in the scratch folder before each trial is `old_bytes`;
// links under every name a temporary file had or has point at a file that must stay as it is.
void kill_trials(const char* name, unsigned seed, const std::string& target, const std::string& old_bytes,
                 const Op& op) {
  SCOPED_TRACE(name);
  ScratchDir reference;
  put_bytes(reference.path() / target, old_bytes);
  const auto duration = time_of(op, reference.path());
  const std::string new_bytes = bytes_of(reference.path() / target);
  ASSERT_NE(new_bytes, old_bytes);

  std::mt19937 random(seed);
  std::uniform_int_distribution<long> when(0, duration.count() + duration.count() / 4);
  int killed = 0;
  for (int trial = 0; trial < kTrials; ++trial) {
    ScratchDir dir;
    const fs::path file = dir.path() / target;
    put_bytes(file, old_bytes);
    put_bytes(dir.path() / "victim", "keep me");
    for (const std::string suffix : {".part", ".tmp", ".part.tmp"}) {
      fs::create_symlink(dir.path() / "victim", dir.path() / (target + suffix));
    }
    const std::string planted = "." + target + ".999999999-0-0.vkt-tmp";
    fs::create_symlink(dir.path() / "victim", dir.path() / planted);
    killed += run_and_kill(op, dir.path(), std::chrono::microseconds(when(random))) ? 1 : 0;
    const std::string after = bytes_of(file);
    EXPECT_TRUE(after == old_bytes || after == new_bytes)
        << "trial " << trial << ": " << after.size() << " bytes";
    // The next run over what the killed one left completes and follows none of it.
    try {
      op(dir.path());
    } catch (const std::exception& e) {
      ADD_FAILURE() << "trial " << trial << ": " << e.what();
    }
    EXPECT_EQ(bytes_of(file), new_bytes) << "trial " << trial;
    EXPECT_EQ(bytes_of(dir.path() / "victim"), "keep me") << "trial " << trial;
    // What the killed run left beside the file is gone after the next one.
    for (const auto& entry : fs::directory_iterator(dir.path())) {
      const std::string left = entry.path().filename().string();
      EXPECT_TRUE(left == planted || left.rfind("." + target + ".", 0) != 0)
          << "trial " << trial << ": " << left;
    }
  }
  EXPECT_GT(killed, 0) << "no trial was killed before the write ended";
}

TEST(KilledWrites, LeaveTheOldFileOrTheCompleteNewOne) {
  ScratchDir setup;
  const std::string sample = sample_file(setup.path());
  // A previous export the new one replaces.
  const std::string old_workbook(5000, 'w');

  const fs::path input = setup.path() / "in.db";
  put_bytes(input, sample);
  kill_trials("export", 1, "out.xls", old_workbook, [&](const fs::path& dir) {
    dbf::Table t;
    measurement::open_measurement_file(t, input, measurement::Access::ReadOnly);
    t.set_filter("NB_TYPE=0");
    output::export_table_to_file(t, 0, (dir / "out.xls").string());
  });
  kill_trials("append", 2, "m.db", sample, [](const fs::path& dir) {
    dbf::Table original;
    measurement::open_measurement_file(original, dir / "m.db");
    if (original.record_count() > kRows) {
      return;  // already appended by the trial's first run
    }
    measurement::MeasurementRewrite copy(dir / "m.db", original);
    add_rows(copy.table(), kRows + 1, 200);
    original.close();
    copy.commit();
  });
  kill_trials("new download", 3, "m.db", sample, [](const fs::path& dir) {
    measurement::MeasurementRewrite fresh(dir / "m.db");
    add_rows(fresh.table(), 1, 300);
    fresh.commit();
  });
  kill_trials("pack", 4, "m.db", sample, [](const fs::path& dir) {
    dbf::Table t;
    t.open(dir / "m.db");
    t.pack();
  });
  kill_trials("save", 5, "m.db", sample, [](const fs::path& dir) {
    dbf::Table t;
    measurement::open_measurement_file(t, dir / "m.db");
    t.go_to(kRows / 2);
    t.edit();
    t.set_text("COMMENT", "исправлено");
    t.post();
    t.reopen();
    t.close();
  });
}

// A download of measurements 0 .. count − 1, a second apart; sample j of measurement i holds
// i × 10000 + j.
std::unique_ptr<ProgramState> download(int count) {
  std::vector<image::DeviceARecord> records(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) {
    image::DeviceARecord& r = records[static_cast<std::size_t>(i)];
    r.date = {12, 5, 11};
    r.time = {static_cast<std::uint8_t>(i % 60), static_cast<std::uint8_t>(i / 60), 10};
    for (std::size_t j = 0; j < r.samples.size(); ++j) {
      r.samples[j] = static_cast<std::uint32_t>(i * 10000 + static_cast<int>(j));
    }
    r.modulus = {static_cast<std::uint16_t>(i), 2, 3, 4};
    r.displacement = {400, 401, 402, 403};
    r.force = {7000, 7001, 7002, 7003};
  }
  auto state = std::make_unique<ProgramState>();
  const auto bytes = image::build_image(records);
  std::copy(bytes.begin(), bytes.end(), state->mem_image.begin());
  state->image_length = bytes.size();
  return state;
}

// The pair after a killed "Дополнить": the .vkw is one of the two whole files, and the .db opens
// with the old rows or all of them, each finding its own waveforms. Returns how many rows we read.
std::size_t expect_whole_pair(const fs::path& dir, const std::string& old_vkw, const std::string& new_vkw,
                              std::size_t old_rows, std::size_t new_rows,
                              const measurement::ObjectParameters& object) {
  // The waveform file takes a download's records at its end: a write cut short leaves the old
  // records and part of the new, which reading passes over (telling of a cut record).
  const std::string vkw = bytes_of(dir / "m.vkw");
  const bool cut = vkw != old_vkw && vkw != new_vkw;
  EXPECT_TRUE(vkw.starts_with(old_vkw) && new_vkw.starts_with(vkw)) << vkw.size() << " bytes";
  measurement::MeasurementDocument doc;
  try {
    const std::string problem = doc.open(dir / "m.db", measurement::Access::ReadOnly).waveform_problem;
    EXPECT_TRUE(cut || problem.empty()) << problem;
  } catch (const std::exception& e) {
    ADD_FAILURE() << e.what();
    return 0;
  }
  const std::vector<std::uint32_t> rows = doc.rows();
  EXPECT_TRUE(rows.size() == old_rows || rows.size() == new_rows) << rows.size();
  const std::size_t modulus = *doc.find_field("D9");
  for (const std::uint32_t r : rows) {
    const waveform::MeasurementWaveforms* m = doc.waveforms(r);
    if (m == nullptr) {
      ADD_FAILURE() << "row " << r << " of " << rows.size() << " has no waveforms";
      break;
    }
    EXPECT_EQ(static_cast<double>(m->drops[0].displacement[0]), *doc.number(r, modulus) * 10000)
        << "row " << r;
  }
  EXPECT_EQ(doc.object_parameters(), object);
  return rows.size();
}

// Where a trial's run is stopped: at random, or at a step of the append.
enum class KillAt { Random, WaveformsCut, RowsFlushed, RowsCounted };

TEST(KilledWrites, AppendLeavesTheTableAndItsWaveformsAPair) {
  constexpr int kOld = 100;
  constexpr int kNew = 160;
  const measurement::ObjectParameters object = {"Обход, ПК 7", "щебень", "Сидоров", "0815", 110, ""};
  ScratchDir setup;
  {
    measurement::MeasurementDocument doc;
    doc.reserve(setup.path() / "m.db");
    doc.create(*download(kOld), ".");
    doc.set_object_parameters(object);
  }
  const std::string old_db = bytes_of(setup.path() / "m.db");
  const std::string old_vkw = bytes_of(setup.path() / "m.vkw");
  const auto state = download(kNew);
  const auto append = [&](const fs::path& dir, KillAt kill_at) {
    measurement::MeasurementDocument doc;
    doc.open(dir / "m.db");
    const dbf::ReplaceStep step =
        kill_at == KillAt::RowsFlushed ? dbf::ReplaceStep::AppendFlushed : dbf::ReplaceStep::AppendCounted;
    if (kill_at == KillAt::RowsFlushed || kill_at == KillAt::RowsCounted) {
      doc.table().set_replace_hook([step](dbf::ReplaceStep s) {
        if (s == step) {
          ::kill(::getpid(), SIGKILL);
        }
      });
    }
    doc.check_appendable();
    doc.append(*state, ".");
    doc.close();
  };
  ScratchDir reference;
  put_bytes(reference.path() / "m.db", old_db);
  put_bytes(reference.path() / "m.vkw", old_vkw);
  // Timed in a child process, as the trials run it: a fresh child is slower than this process.
  const auto duration = time_of(
      [&](const fs::path& dir) {
        EXPECT_FALSE(run_to_its_end([&](const fs::path& d) { append(d, KillAt::Random); }, dir));
      },
      reference.path());
  const std::string new_db = bytes_of(reference.path() / "m.db");
  const std::string new_vkw = bytes_of(reference.path() / "m.vkw");
  ASSERT_TRUE(new_vkw != old_vkw);

  std::mt19937 random(6);
  std::uniform_int_distribution<long> when(0, duration.count() + duration.count() / 4);
  int killed = 0;
  // Trials: the .vkw cut in the middle of its new records (as a kill while they are written leaves
  // it), killed at the steps of the table's commit, then moments at random. dbfread stops at the
  // first end mark, not at the header's count: between the count and the taking of the old end
  // mark it still reads the old rows where we read the new ones.
  const KillAt steps[] = {KillAt::WaveformsCut, KillAt::RowsFlushed, KillAt::RowsCounted};
  for (int trial = 0; trial < kTrials + 3; ++trial) {
    SCOPED_TRACE("trial " + std::to_string(trial));
    ScratchDir dir;
    put_bytes(dir.path() / "m.db", old_db);
    put_bytes(dir.path() / "m.vkw", old_vkw);
    const KillAt kill_at = trial < 3 ? steps[trial] : KillAt::Random;
    if (kill_at == KillAt::WaveformsCut) {
      put_bytes(dir.path() / "m.vkw", new_vkw.substr(0, (old_vkw.size() + new_vkw.size()) / 2 + 100));
    } else if (kill_at != KillAt::Random) {
      EXPECT_TRUE(run_to_its_end([&](const fs::path& d) { append(d, kill_at); }, dir.path()));
      EXPECT_TRUE(bytes_of(dir.path() / "m.vkw") == new_vkw);
    } else {
      killed += run_and_kill([&](const fs::path& d) { append(d, KillAt::Random); }, dir.path(),
                             std::chrono::microseconds(when(random)))
                    ? 1
                    : 0;
    }
    const std::size_t ours = expect_whole_pair(dir.path(), old_vkw, new_vkw, kOld, kNew, object);
    const std::size_t theirs = image::testing::rows_read_back(dir.path() / "m.db").size();
    EXPECT_TRUE(theirs == kOld || theirs == kNew) << theirs;
    if (kill_at != KillAt::Random) {
      EXPECT_EQ(ours, static_cast<std::size_t>(kill_at == KillAt::RowsCounted ? kNew : kOld));
      EXPECT_EQ(theirs, static_cast<std::size_t>(kOld));
    }
    // The next "Дополнить" completes the pair.
    append(dir.path(), KillAt::Random);
    expect_whole_pair(dir.path(), new_vkw, new_vkw, kNew, kNew, object);
    // The last update date aside (a trial may run on the next day).
    EXPECT_TRUE(bytes_of(dir.path() / "m.db").substr(4) == new_db.substr(4));
    for (const auto& entry : fs::directory_iterator(dir.path())) {
      const std::string left = entry.path().filename().string();
      EXPECT_TRUE(left == "m.db" || left == "m.vkw") << left;
    }
  }
  EXPECT_GT(killed, 0) << "no trial was killed at random before the append ended";
}

// A small file system of its own, where the machine lets us mount one (root, no container rule
// against it).
class SmallDisk {
 public:
  explicit SmallDisk(const char* options) {
    if (::mount("tmpfs", dir_.path().c_str(), "tmpfs", 0, options) == 0) {
      mounted_ = true;
    } else {
      reason_ = std::string("tmpfs cannot be mounted here (") + std::strerror(errno) + ")";
    }
  }
  ~SmallDisk() {
    if (mounted_) {
      ::umount2(dir_.path().c_str(), MNT_DETACH);
    }
  }
  bool mounted() const { return mounted_; }
  const std::string& reason() const { return reason_; }
  fs::path operator/(const std::string& name) const { return dir_.path() / name; }
  void make_read_only() { ::mount(nullptr, dir_.path().c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr); }

 private:
  ScratchDir dir_;
  bool mounted_ = false;
  std::string reason_;
};

TEST(FullDisk, WritesFailNamingTheCauseAndKeepTheFile) {
  ScratchDir setup;
  const std::string sample = sample_file(setup.path());
  SmallDisk disk(("size=" + std::to_string(sample.size() + 64 * 1024)).c_str());
  if (!disk.mounted()) {
    GTEST_SKIP() << disk.reason();
  }
  put_bytes(disk / "m.db", sample);
  {
    dbf::Table original;
    measurement::open_measurement_file(original, disk / "m.db");
    try {
      measurement::MeasurementRewrite copy(disk / "m.db", original);
      FAIL() << "the copy fitted";
    } catch (const dbf::DbfError& e) {
      EXPECT_EQ(e.kind(), dbf::ErrorKind::NoSpace);
      EXPECT_NE(measurement::failure_text(e).find("нет места на диске"), std::string::npos) << e.what();
    }
  }
  EXPECT_EQ(bytes_of(disk / "m.db"), sample);
  {
    dbf::Table t;
    measurement::open_measurement_file(t, disk / "m.db");
    t.begin_appending();
    try {
      add_rows(t, kRows + 1, 200);
      ADD_FAILURE() << "the rows fitted";
    } catch (const dbf::DbfError& e) {
      EXPECT_EQ(e.kind(), dbf::ErrorKind::NoSpace);
    }
    t.roll_back_appended();
    EXPECT_EQ(t.record_count(), static_cast<std::uint32_t>(kRows));
  }
  EXPECT_EQ(bytes_of(disk / "m.db"), sample);
  {
    dbf::Table t;
    measurement::open_measurement_file(t, disk / "m.db", measurement::Access::ReadOnly);
    try {
      output::export_table_to_file(t, 0, (disk / "out.xls").string());
      FAIL() << "the workbook fitted";
    } catch (const std::exception& e) {
      EXPECT_NE(output::export_failure_text(e).find("нет места на диске"), std::string::npos)
          << output::export_failure_text(e);
    }
  }
  EXPECT_EQ(bytes_of(disk / "m.db"), sample);
  EXPECT_FALSE(fs::exists(disk / "out.xls"));
  std::size_t files = 0;
  for ([[maybe_unused]] const auto& e : fs::directory_iterator(disk / "")) {
    ++files;
  }
  EXPECT_EQ(files, 1u);
}

TEST(ReadOnlyPlaces, ReadingWorksAndWritingSaysWhyNot) {
  ScratchDir setup;
  const std::string sample = sample_file(setup.path());
  SmallDisk disk("size=8m");
  if (!disk.mounted()) {
    GTEST_SKIP() << disk.reason();
  }
  put_bytes(disk / "m.db", sample);
  disk.make_read_only();

  dbf::Table reader;
  measurement::open_measurement_file(reader, disk / "m.db", measurement::Access::ReadOnly);
  reader.set_filter("NB_TYPE=0");
  EXPECT_EQ(reader.count(), kRows - kRows / 10);
  reader.close();

  dbf::Table writer;
  try {
    measurement::open_measurement_file(writer, disk / "m.db");
    FAIL() << "opened for writing";
  } catch (const dbf::DbfError& e) {
    EXPECT_EQ(e.kind(), dbf::ErrorKind::NoAccess);
    EXPECT_NE(measurement::open_failure_text(e).find("доступен только для чтения"), std::string::npos)
        << e.what();
  }
  try {
    dbf::FileReplacement::check_replaceable(disk / "new.db");
    FAIL() << "a new file could be made";
  } catch (const dbf::DbfError& e) {
    EXPECT_EQ(e.kind(), dbf::ErrorKind::NoAccess);
    EXPECT_NE(std::string(e.what()).find("недоступна для записи"), std::string::npos) << e.what();
  }
}

// Runs `check` in a child process as a user without rights over root's files (itself when that
// is already so); true when the check held.
bool as_ordinary_user(const std::function<bool()>& check) {
  const pid_t child = ::fork();
  if (child == 0) {
    if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) {
      ::_exit(2);
    }
    ::_exit(check() ? 0 : 1);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST(ReadOnlyPlaces, ReadOnlyFilesAndFoldersAreReadAndRefusedForWriting) {
  ScratchDir dir;
  const std::string sample = sample_file(dir.path());
  const fs::path file = dir.path() / "m.db";
  put_bytes(file, sample);
  ::chmod(dir.path().c_str(), 0755);
  ::chmod(file.c_str(), 0444);
  EXPECT_TRUE(as_ordinary_user([&] {
    dbf::Table t;
    measurement::open_measurement_file(t, file, measurement::Access::ReadOnly);
    t.close();
    try {
      measurement::open_measurement_file(t, file);
      return false;
    } catch (const dbf::DbfError& e) {
      if (measurement::open_failure_text(e).find("доступен только для чтения") == std::string::npos) {
        return false;
      }
    }
    try {
      dbf::FileReplacement::check_replaceable(dir.path() / "new.db");
      return false;
    } catch (const dbf::DbfError& e) {
      return std::string(e.what()).find("недоступна для записи") != std::string::npos;
    }
  }));
  EXPECT_EQ(bytes_of(file), sample);
}

TEST(Replacement, KeepsTheOwnerOfAnotherUsersFile) {
  if (::geteuid() != 0) {
    GTEST_SKIP() << "only root can give a file to another user";
  }
  ScratchDir dir;
  const fs::path file = dir.path() / "m.db";
  put_bytes(file, "old");
  ASSERT_EQ(::chown(file.c_str(), 65534, 65534), 0);
  ::chmod(file.c_str(), 0640);
  {
    dbf::FileReplacement r(file);
    r.file().write_at(0, "new", 3);
    r.commit();
  }
  struct stat st {};
  ASSERT_EQ(::stat(file.c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, 65534u);
  EXPECT_EQ(st.st_gid, 65534u);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(bytes_of(file), "new");
}

}  // namespace
}  // namespace vkt
