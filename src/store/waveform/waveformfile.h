// The waveform file: the displacement and force samples of device A measurements, kept beside a
// measurement file (same name, extension ".vkw") so that the graph works for its rows after the
// download is gone. The byte layout, the checksum and the key are in docs/waveform-file.md.
//
// A row finds its samples by what it measured, never by its row number: the key is the row's
// date, time and the twelve values the instrument stored (moduli, displacements, forces, each as
// mean, drop 1, 2, 3). Sorting, deleting, packing, renumbering and edits of any other field leave
// the key alone; an edit of one of the key's fields parts the row from its waveforms.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vkt::waveform {

inline constexpr std::string_view kExtension = ".vkw";
inline constexpr std::uint16_t kFormatVersion = 2;
inline constexpr std::size_t kDrops = 3;
inline constexpr std::size_t kCurveSamples = 510;  // per channel and drop, 100 µs apart
inline constexpr std::size_t kDateLength = 10;     // "dd.mm.yyyy"
inline constexpr std::size_t kTimeLength = 8;      // "hh:mm:ss"
inline constexpr std::size_t kStoredValues = 12;

// The row fields the key is made of, in the key's order: DATE, TIME, then the stored values.
inline constexpr std::array<std::string_view, kStoredValues> kStoredValueFields = {
    "D9", "P", "R", "T", "P10", "P9", "P2", "P4", "D3", "D4", "D5", "D6"};

// Index into the four values of a stored quantity.
enum Quantity : std::size_t { kMean = 0, kDrop1 = 1, kDrop2 = 2, kDrop3 = 3 };

struct MeasurementKey {
  std::array<char, kDateLength> date{};
  std::array<char, kTimeLength> time{};
  std::array<std::uint16_t, 4> modulus{};       // MN/m²: D9, P, R, T
  std::array<std::uint16_t, 4> displacement{};  // µm: P10, P9, P2, P4
  std::array<std::uint16_t, 4> force{};         // N: D3, D4, D5, D6
  friend auto operator<=>(const MeasurementKey&, const MeasurementKey&) = default;
};

// The key of a row from its DATE and TIME texts and its stored values in the order of
// kStoredValueFields. Nothing when the row cannot be one the import wrote: a text of another
// length, an empty value, or one that is not a whole number from 0 to 65535.
std::optional<MeasurementKey> key_of_row(std::string_view date, std::string_view time,
                                         std::span<const std::optional<double>, kStoredValues> values);

// "dd.mm.yyyy hh:mm:ss", for messages.
std::string key_text(const MeasurementKey& key);

// What the engineer states about the tested object. Kept in the waveform file beside the
// measurement file (its header), never in the .db.
struct ObjectParameters {
  std::string object;  // object or site
  std::string layer;
  std::string operator_name;
  std::string instrument_serial;
  std::optional<double> required_modulus;  // MN/m², above 0; none: no verdicts
  std::string instrument_firmware;         // "07.12.03", as the last download identified it
  friend bool operator==(const ObjectParameters&, const ObjectParameters&) = default;
};

struct Drop {
  std::array<std::uint32_t, kCurveSamples> displacement{};  // raw instrument units
  std::array<std::uint32_t, kCurveSamples> force{};         // raw instrument units
  friend bool operator==(const Drop&, const Drop&) = default;
};

struct MeasurementWaveforms {
  MeasurementKey key;
  std::array<Drop, kDrops> drops{};
  friend bool operator==(const MeasurementWaveforms&, const MeasurementWaveforms&) = default;
};

// The companion of a measurement file: the same path with kExtension for its extension.
std::filesystem::path companion_path(const std::filesystem::path& table_path);

// A waveform file in memory. Loading never fails: whatever cannot be read leaves the file
// without those measurements and says so once, in message(). A file this program must not
// overwrite (a foreign one, one written by a newer version, one it could not read) comes back
// read-only.
class WaveformFile {
 public:
  // An empty file that may be written.
  WaveformFile() = default;

  // A missing file reads as an empty one, without a message.
  static WaveformFile load(const std::filesystem::path& path);
  // The file's bytes; `name` is how the message calls the file.
  static WaveformFile parse(std::span<const std::uint8_t> bytes, std::string_view name);

  // The measurement's waveforms, or nothing.
  const MeasurementWaveforms* find(const MeasurementKey& key) const;
  // Whether a record of this key failed its checksum.
  bool is_damaged(const MeasurementKey& key) const;

  // What the file says about the tested object; empty when it says nothing (version 1) or the
  // parameters are damaged.
  const ObjectParameters& parameters() const { return parameters_; }
  // Replaces the parameters, and with them damaged ones read from the file. Throws vkt::Error:
  // Usage for a required modulus that is not a number above 0, Limit when the texts together are
  // longer than the file's header carries.
  void set_parameters(const ObjectParameters& parameters);
  // Whether the file's parameters failed their checksum or do not read; they are written back as
  // they were read until set_parameters() replaces them.
  bool parameters_damaged() const { return !damaged_parameters_.empty(); }

  // Adds the measurements; one of a key the file holds already replaces it (and a damaged
  // record of that key).
  void add(std::span<const MeasurementWaveforms> records);
  void add(const MeasurementWaveforms& record) { add(std::span(&record, 1)); }

  std::size_t size() const { return records_.size(); }
  std::size_t damaged_count() const { return damaged_.size(); }
  bool writable() const { return writable_; }
  // What loading found wrong, in words for the user; empty when nothing.
  const std::string& message() const { return message_; }

  // The whole file; damaged records are written back as they were read.
  std::vector<std::uint8_t> serialize() const;
  // Puts the file at path through one atomic replacement. Throws vkt::Error: NoAccess for a
  // read-only file, the replacement's own kind when the disk refuses.
  void save(const std::filesystem::path& path) const;
  // add() and a write of what changed: the measurements that are new or differ from the file's
  // go after its last record, flushed, when the file at path is the one this was read from (or
  // last written as), read cleanly to its end, of this version, with the same parameters block;
  // otherwise the whole file is written as save() does. A crash during the write leaves at most a
  // cut record at the end, which reading passes over and the next whole write drops. Throws as
  // save().
  void add_and_save(std::span<const MeasurementWaveforms> records, const std::filesystem::path& path);
  // save() with these parameters in place of the file's own; the file takes them only once it is
  // written. Throws as set_parameters() and save().
  void save_with_parameters(const ObjectParameters& parameters, const std::filesystem::path& path);

 private:
  // A record whose checksum failed, kept byte for byte.
  struct DamagedRecord {
    MeasurementKey key;               // as far as its bytes still tell
    std::vector<std::uint8_t> bytes;  // the whole record: length, body, checksum
  };

  // Hands the file's bytes to `out` in order, in parts; `parameters` is the header's parameters
  // block as it goes into the file.
  void write(std::span<const std::uint8_t> parameters,
             const std::function<void(std::span<const std::uint8_t>)>& out) const;
  void write_file(std::span<const std::uint8_t> parameters, const std::filesystem::path& path) const;
  // The parameters block of the file: the damaged one as it was read, or the parameters'.
  std::vector<std::uint8_t> parameters_block() const;
  // False when a broken frame ends the reading before the end of the bytes.
  bool parse_records(std::span<const std::uint8_t> bytes, std::size_t offset, std::string_view name);

  std::map<MeasurementKey, MeasurementWaveforms> records_;
  std::vector<DamagedRecord> damaged_;
  ObjectParameters parameters_;
  std::vector<std::uint8_t> damaged_parameters_;  // the header's bytes after the fixed part
  bool writable_ = true;
  std::string message_;
  // The file on the disk as last read cleanly to its end or written whole: its size and its
  // parameters block. New records may go after it while it stays so.
  mutable std::optional<std::uint64_t> disk_size_;
  mutable std::vector<std::uint8_t> disk_parameters_;
};

}  // namespace vkt::waveform
