#include "store/waveform/waveformfile.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <fstream>
#include <system_error>

#include "core/error.h"
#include "store/dbf/dbferror.h"
#include "store/dbf/filereplacement.h"
#include "store/dbf/osfile.h"
#include "store/waveform/crc32.h"

namespace vkt::waveform {

namespace {

constexpr std::array<std::uint8_t, 8> kMagic = {'V', 'K', 'T', 'W', 'A', 'V', 'E', 0x1A};
constexpr std::size_t kHeaderSize = 12;  // magic, version, header size; version 1's whole header
// Version 2 follows the fixed part with the object's parameters: their length, the parameters,
// and a checksum over both.
constexpr std::uint16_t kFirstVersionWithParameters = 2;
constexpr std::size_t kParametersFrame = 4 + 4;
constexpr std::size_t kModulusSize = 1 + 8;  // present or not, then the value as a double
constexpr std::size_t kMaxHeaderSize = 0xFFFF;
constexpr std::size_t kKeySize = kDateLength + kTimeLength + 2 * kStoredValues;
constexpr std::size_t kSamplesSize = kDrops * 2 * kCurveSamples * 4;
constexpr std::size_t kBodySize = kKeySize + kSamplesSize;  // as version 1 writes it
constexpr std::size_t kFrameSize = 4 + 4;                   // length before the body, checksum after
// Larger files are not ours: a full download takes about 5 MB.
constexpr std::uintmax_t kMaxFileSize = std::uintmax_t{1} << 30;
constexpr std::uint32_t kMaxBodySize = 1U << 24;

std::uint16_t get16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

std::uint32_t get32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

std::uint64_t get64(const std::uint8_t* p) {
  return get32(p) | (static_cast<std::uint64_t>(get32(p + 4)) << 32);
}

std::uint8_t* put16(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
  return p + 2;
}

std::uint8_t* put32(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
  p[2] = static_cast<std::uint8_t>(v >> 16);
  p[3] = static_cast<std::uint8_t>(v >> 24);
  return p + 4;
}

std::uint8_t* put64(std::uint8_t* p, std::uint64_t v) {
  return put32(put32(p, static_cast<std::uint32_t>(v)), static_cast<std::uint32_t>(v >> 32));
}

std::string display_name(const std::filesystem::path& path) {
  const std::u8string name = path.filename().u8string();
  return std::string(name.begin(), name.end());
}

std::string in_quotes(std::string_view name) {
  return "«" + std::string(name) + "»";
}

MeasurementKey read_key(const std::uint8_t* p) {
  MeasurementKey key;
  std::copy_n(p, kDateLength, key.date.begin());
  p += kDateLength;
  std::copy_n(p, kTimeLength, key.time.begin());
  p += kTimeLength;
  for (auto* values : {&key.modulus, &key.displacement, &key.force}) {
    for (std::uint16_t& v : *values) {
      v = get16(p);
      p += 2;
    }
  }
  return key;
}

MeasurementWaveforms read_body(const std::uint8_t* p) {
  MeasurementWaveforms m;
  m.key = read_key(p);
  p += kKeySize;
  for (Drop& drop : m.drops) {
    for (auto* curve : {&drop.displacement, &drop.force}) {
      for (std::uint32_t& v : *curve) {
        v = get32(p);
        p += 4;
      }
    }
  }
  return m;
}

// Writes one whole record (length, body, checksum) at p; returns the end.
std::uint8_t* write_record(std::uint8_t* p, const MeasurementWaveforms& m) {
  std::uint8_t* const start = p;
  p = put32(p, static_cast<std::uint32_t>(kBodySize));
  p = std::copy(m.key.date.begin(), m.key.date.end(), p);
  p = std::copy(m.key.time.begin(), m.key.time.end(), p);
  for (const auto* values : {&m.key.modulus, &m.key.displacement, &m.key.force}) {
    for (const std::uint16_t v : *values) {
      p = put16(p, v);
    }
  }
  for (const Drop& drop : m.drops) {
    for (const auto* curve : {&drop.displacement, &drop.force}) {
      for (const std::uint32_t v : *curve) {
        p = put32(p, v);
      }
    }
  }
  return put32(p, crc32(std::span<const std::uint8_t>(start, p)));
}

// The texts of the parameters in the file's order. The firmware came after the first files: a
// block may end before it.
constexpr std::size_t kTextsAlwaysThere = 4;

std::array<const std::string*, 5> texts_of(const ObjectParameters& p) {
  return {&p.object, &p.layer, &p.operator_name, &p.instrument_serial, &p.instrument_firmware};
}

std::array<std::string*, 5> texts_of(ObjectParameters& p) {
  return {&p.object, &p.layer, &p.operator_name, &p.instrument_serial, &p.instrument_firmware};
}

bool valid_modulus(double m) {
  return std::isfinite(m) && m > 0;
}

// The parameters block: length, parameters, checksum.
std::vector<std::uint8_t> encode_parameters(const ObjectParameters& parameters) {
  std::size_t size = kParametersFrame + kModulusSize;
  for (const std::string* text : texts_of(parameters)) {
    size += 2 + text->size();
  }
  std::vector<std::uint8_t> block(size);
  std::uint8_t* p = put32(block.data(), static_cast<std::uint32_t>(size - kParametersFrame));
  *p++ = parameters.required_modulus ? 1 : 0;
  p = put64(p, std::bit_cast<std::uint64_t>(parameters.required_modulus.value_or(0.0)));
  for (const std::string* text : texts_of(parameters)) {
    p = put16(p, static_cast<std::uint16_t>(text->size()));
    p = std::copy(text->begin(), text->end(), p);
  }
  put32(p, crc32(std::span<const std::uint8_t>(block.data(), p)));
  return block;
}

// The parameters of a header's tail (what follows its fixed part); nothing when they do not read.
// What a later version appends to the parameters is skipped.
std::optional<ObjectParameters> decode_parameters(std::span<const std::uint8_t> tail) {
  if (tail.size() < kParametersFrame) {
    return std::nullopt;
  }
  const std::uint32_t length = get32(tail.data());
  if (length > tail.size() - kParametersFrame || crc32(tail.first(4 + length)) != get32(&tail[4 + length])) {
    return std::nullopt;
  }
  const auto body = tail.subspan(4, length);
  if (body.size() < kModulusSize || body[0] > 1) {
    return std::nullopt;
  }
  ObjectParameters parameters;
  if (body[0] == 1) {
    const double modulus = std::bit_cast<double>(get64(&body[1]));
    if (!valid_modulus(modulus)) {
      return std::nullopt;
    }
    parameters.required_modulus = modulus;
  }
  std::size_t at = kModulusSize;
  std::size_t read = 0;
  for (std::string* text : texts_of(parameters)) {
    if (read++ >= kTextsAlwaysThere && at == body.size()) {
      break;
    }
    if (body.size() - at < 2) {
      return std::nullopt;
    }
    const std::size_t n = get16(&body[at]);
    at += 2;
    if (body.size() - at < n) {
      return std::nullopt;
    }
    text->assign(reinterpret_cast<const char*>(&body[at]), n);
    at += n;
  }
  return parameters;
}

// The block of parameters the file can carry; throws for others.
std::vector<std::uint8_t> checked_block(const ObjectParameters& parameters) {
  if (parameters.required_modulus && !valid_modulus(*parameters.required_modulus)) {
    throw Error(ErrorKind::Usage, "Требуемый модуль упругости должен быть числом больше нуля.");
  }
  std::vector<std::uint8_t> block = encode_parameters(parameters);
  if (kHeaderSize + block.size() > kMaxHeaderSize) {
    throw Error(ErrorKind::Limit,
                "Параметры объекта слишком длинные: все их тексты вместе должны занимать "
                "не более 65 498 байт (около 32 700 русских букв).");
  }
  return block;
}

}  // namespace

std::optional<MeasurementKey> key_of_row(std::string_view date, std::string_view time,
                                         std::span<const std::optional<double>, kStoredValues> values) {
  if (date.size() != kDateLength || time.size() != kTimeLength) {
    return std::nullopt;
  }
  MeasurementKey key;
  std::copy(date.begin(), date.end(), key.date.begin());
  std::copy(time.begin(), time.end(), key.time.begin());
  std::array<std::uint16_t, kStoredValues> words{};
  for (std::size_t i = 0; i < kStoredValues; ++i) {
    const std::optional<double> v = values[i];
    if (!v || !(*v >= 0 && *v <= 65535) || std::floor(*v) != *v) {
      return std::nullopt;
    }
    words[i] = static_cast<std::uint16_t>(*v);
  }
  std::copy_n(words.begin(), 4, key.modulus.begin());
  std::copy_n(words.begin() + 4, 4, key.displacement.begin());
  std::copy_n(words.begin() + 8, 4, key.force.begin());
  return key;
}

std::string key_text(const MeasurementKey& key) {
  return std::string(key.date.begin(), key.date.end()) + " " + std::string(key.time.begin(), key.time.end());
}

std::filesystem::path companion_path(const std::filesystem::path& table_path) {
  std::filesystem::path path = table_path;
  path.replace_extension(std::filesystem::path(std::string(kExtension)));
  return path;
}

WaveformFile WaveformFile::load(const std::filesystem::path& path) {
  const std::string name = display_name(path);
  WaveformFile file;
  // What cannot be read is not replaced either.
  const auto refuse = [&](const std::string& text) {
    file.writable_ = false;
    file.message_ = text;
    return file;
  };
  std::error_code ec;
  if (std::filesystem::status(path, ec).type() == std::filesystem::file_type::not_found) {
    return file;
  }
  const std::uintmax_t size = std::filesystem::file_size(path, ec);
  if (ec) {
    return refuse("Файл кривых " + in_quotes(name) +
                  " не читается: кривые не показываются и не записываются.");
  }
  if (size > kMaxFileSize) {
    return refuse("Файл " + in_quotes(name) +
                  " слишком велик для файла кривых: кривые не показываются и не записываются.");
  }
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
  std::ifstream in(path, std::ios::binary);
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!in || in.gcount() != static_cast<std::streamsize>(bytes.size())) {
    return refuse("Файл кривых " + in_quotes(name) +
                  " не читается: кривые не показываются и не записываются.");
  }
  return parse(bytes, name);
}

WaveformFile WaveformFile::parse(std::span<const std::uint8_t> bytes, std::string_view name) {
  WaveformFile file;
  if (bytes.empty()) {
    return file;
  }
  if (bytes.size() < kHeaderSize || !std::equal(kMagic.begin(), kMagic.end(), bytes.begin()) ||
      get16(&bytes[8]) == 0) {
    // Someone else's file under our name: left as it is.
    file.writable_ = false;
    file.message_ = "Файл " + in_quotes(name) +
                    " не является файлом кривых этой программы: кривые не показываются и не записываются.";
    return file;
  }
  const std::uint16_t version = get16(&bytes[8]);
  const std::size_t header_size = get16(&bytes[10]);
  if (header_size < kHeaderSize || header_size > bytes.size()) {
    file.message_ = "Файл кривых " + in_quotes(name) + " повреждён: кривые не показываются.";
    if (version > kFormatVersion) {
      file.writable_ = false;
    }
    return file;
  }
  if (version > kFormatVersion) {
    // A later version reads the records of this one as a prefix of its own; what it added, this
    // version would lose by writing.
    file.writable_ = false;
    file.message_ = "Файл кривых " + in_quotes(name) +
                    " записан более новой версией программы: он открыт только для чтения, новые кривые "
                    "в него не записываются.";
  }
  if (version >= kFirstVersionWithParameters && header_size > kHeaderSize) {
    const auto tail = bytes.subspan(kHeaderSize, header_size - kHeaderSize);
    if (const auto parameters = decode_parameters(tail)) {
      file.parameters_ = *parameters;
    } else {
      file.damaged_parameters_.assign(tail.begin(), tail.end());
      if (!file.message_.empty()) {
        file.message_ += " ";
      }
      file.message_ += "В файле кривых " + in_quotes(name) +
                       " испорчены параметры объекта: они не показываются, пока их не зададут заново.";
    }
  }
  if (file.parse_records(bytes, header_size, name) && version == kFormatVersion && file.writable_) {
    file.disk_size_ = bytes.size();
    file.disk_parameters_.assign(bytes.begin() + kHeaderSize,
                                 bytes.begin() + static_cast<std::ptrdiff_t>(header_size));
  }
  return file;
}

bool WaveformFile::parse_records(std::span<const std::uint8_t> bytes, std::size_t offset,
                                 std::string_view name) {
  std::size_t read = 0;
  while (offset < bytes.size()) {
    const std::size_t left = bytes.size() - offset;
    const std::uint32_t body = left >= 4 ? get32(&bytes[offset]) : 0;
    if (left < kFrameSize || body < kBodySize || body > kMaxBodySize || body > left - kFrameSize) {
      if (!message_.empty()) {
        message_ += " ";
      }
      message_ += "Файл кривых " + in_quotes(name) +
                  " повреждён: прочитано измерений: " + std::to_string(read) +
                  "; остальное не читается и при следующей записи будет отброшено.";
      return false;
    }
    const std::uint8_t* const record = &bytes[offset];
    const std::size_t length = kFrameSize + body;
    const auto checked = std::span<const std::uint8_t>(record, 4 + body);
    if (crc32(checked) == get32(record + 4 + body)) {
      MeasurementWaveforms m = read_body(record + 4);
      std::erase_if(damaged_, [&](const DamagedRecord& d) { return d.key == m.key; });
      records_.insert_or_assign(m.key, m);
    } else {
      damaged_.push_back({read_key(record + 4), std::vector<std::uint8_t>(record, record + length)});
    }
    ++read;
    offset += length;
  }
  if (!damaged_.empty()) {
    if (!message_.empty()) {
      message_ += " ";
    }
    message_ += "В файле кривых " + in_quotes(name) +
                " испорчены кривые измерений: " + std::to_string(damaged_.size()) + " (первое — " +
                key_text(damaged_.front().key) + "); для них график не строится.";
  }
  return true;
}

const MeasurementWaveforms* WaveformFile::find(const MeasurementKey& key) const {
  const auto it = records_.find(key);
  return it == records_.end() ? nullptr : &it->second;
}

bool WaveformFile::is_damaged(const MeasurementKey& key) const {
  return std::any_of(damaged_.begin(), damaged_.end(), [&](const DamagedRecord& d) { return d.key == key; });
}

void WaveformFile::add(std::span<const MeasurementWaveforms> records) {
  for (const MeasurementWaveforms& m : records) {
    std::erase_if(damaged_, [&](const DamagedRecord& d) { return d.key == m.key; });
    records_.insert_or_assign(m.key, m);
  }
}

void WaveformFile::set_parameters(const ObjectParameters& parameters) {
  checked_block(parameters);
  parameters_ = parameters;
  damaged_parameters_.clear();
}

std::vector<std::uint8_t> WaveformFile::parameters_block() const {
  return damaged_parameters_.empty() ? encode_parameters(parameters_) : damaged_parameters_;
}

void WaveformFile::write(std::span<const std::uint8_t> parameters,
                         const std::function<void(std::span<const std::uint8_t>)>& out) const {
  std::array<std::uint8_t, kHeaderSize> header{};
  std::uint8_t* h = std::copy(kMagic.begin(), kMagic.end(), header.data());
  h = put16(h, kFormatVersion);
  put16(h, static_cast<std::uint16_t>(kHeaderSize + parameters.size()));
  out(header);
  out(parameters);
  // A few records at a time: the whole file is megabytes, and a buffer of that size would cost
  // more in fresh memory than the writing itself.
  constexpr std::size_t kRecordsPerChunk = 16;
  std::vector<std::uint8_t> chunk(kRecordsPerChunk * (kFrameSize + kBodySize));
  std::uint8_t* p = chunk.data();
  for (const auto& [key, m] : records_) {
    if (p == chunk.data() + chunk.size()) {
      out(chunk);
      p = chunk.data();
    }
    p = write_record(p, m);
  }
  out(std::span<const std::uint8_t>(chunk.data(), p));
  for (const DamagedRecord& d : damaged_) {
    out(d.bytes);
  }
}

std::vector<std::uint8_t> WaveformFile::serialize() const {
  std::vector<std::uint8_t> bytes;
  const std::vector<std::uint8_t> parameters = parameters_block();
  bytes.reserve(kHeaderSize + parameters.size() + records_.size() * (kFrameSize + kBodySize));
  write(parameters,
        [&](std::span<const std::uint8_t> part) { bytes.insert(bytes.end(), part.begin(), part.end()); });
  return bytes;
}

void WaveformFile::save(const std::filesystem::path& path) const {
  write_file(parameters_block(), path);
}

void WaveformFile::add_and_save(std::span<const MeasurementWaveforms> records,
                                const std::filesystem::path& path) {
  std::vector<const MeasurementWaveforms*> fresh;
  for (const MeasurementWaveforms& m : records) {
    const MeasurementWaveforms* held = find(m.key);
    if (held == nullptr || *held != m || is_damaged(m.key)) {
      fresh.push_back(&m);
    }
  }
  add(records);
  if (!writable_ || !disk_size_ || parameters_block() != disk_parameters_) {
    save(path);
    return;
  }
  if (fresh.empty()) {
    return;
  }
  const std::string name = display_name(path);
  try {
    dbf::OsFile file = dbf::OsFile::open_locked(path);
    if (file.size() != *disk_size_) {
      // Written by someone else since: the whole file goes again.
      file.close();
      save(path);
      return;
    }
    std::vector<std::uint8_t> frames(fresh.size() * (kFrameSize + kBodySize));
    std::uint8_t* p = frames.data();
    for (const MeasurementWaveforms* m : fresh) {
      p = write_record(p, *m);
    }
    // Until the records are whole on the disk a crash leaves a cut one at the end; from here on
    // only a whole write knows what the file holds.
    disk_size_.reset();
    const std::uint64_t end = file.size();
    file.write_at(end, frames.data(), frames.size());
    file.sync();
    disk_size_ = end + frames.size();
  } catch (const Error& e) {
    throw Error(e.kind(), "Не удалось записать файл кривых " + in_quotes(name) + ": " + e.what(), e.detail());
  }
}

void WaveformFile::save_with_parameters(const ObjectParameters& parameters,
                                        const std::filesystem::path& path) {
  write_file(checked_block(parameters), path);
  parameters_ = parameters;
  damaged_parameters_.clear();
}

void WaveformFile::write_file(std::span<const std::uint8_t> parameters,
                              const std::filesystem::path& path) const {
  const std::string name = display_name(path);
  if (!writable_) {
    throw Error(ErrorKind::NoAccess,
                "Файл кривых " + in_quotes(name) + " не записывается этой версией программы.", message_);
  }
  try {
    disk_size_.reset();
    dbf::FileReplacement replacement(path);
    std::uint64_t offset = 0;
    write(parameters, [&](std::span<const std::uint8_t> part) {
      replacement.file().write_at(offset, part.data(), part.size());
      offset += part.size();
    });
    replacement.commit();
    disk_size_ = offset;
    disk_parameters_.assign(parameters.begin(), parameters.end());
  } catch (const Error& e) {
    throw Error(e.kind(), "Не удалось записать файл кривых " + in_quotes(name) + ": " + e.what(), e.detail());
  }
}

}  // namespace vkt::waveform
