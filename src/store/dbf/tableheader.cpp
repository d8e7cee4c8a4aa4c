#include "store/dbf/tableheader.h"

#include <algorithm>
#include <set>

#include "store/dbf/dbferror.h"

namespace vkt::dbf {

namespace {

std::uint16_t u16_at(std::string_view b, std::size_t at) {
  return static_cast<std::uint16_t>(static_cast<unsigned char>(b[at]) |
                                    (static_cast<unsigned char>(b[at + 1]) << 8));
}

std::uint32_t u32_at(std::string_view b, std::size_t at) {
  std::uint32_t v = 0;
  for (std::size_t k = 0; k < 4; ++k) {
    v |= std::uint32_t{static_cast<unsigned char>(b[at + k])} << (8 * k);
  }
  return v;
}

void put_u16(std::string& b, std::size_t at, std::uint16_t v) {
  b[at] = static_cast<char>(v & 0xFF);
  b[at + 1] = static_cast<char>(v >> 8);
}

void put_u32(std::string& b, std::size_t at, std::uint32_t v) {
  for (std::size_t k = 0; k < 4; ++k) {
    b[at + k] = static_cast<char>((v >> (8 * k)) & 0xFF);
  }
}

[[noreturn]] void damaged(const std::string& why) {
  throw DbfError(ErrorKind::Damaged, "Файл таблицы повреждён: " + why);
}

bool known_type(char t) {
  switch (static_cast<FieldType>(t)) {
    case FieldType::Character:
    case FieldType::Numeric:
    case FieldType::Float:
    case FieldType::Date:
    case FieldType::Logical:
    case FieldType::Memo:
      return true;
  }
  return false;
}

char upper_ascii(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

std::string upper(std::string_view s) {
  std::string out(s);
  std::transform(out.begin(), out.end(), out.begin(), upper_ascii);
  return out;
}

void check_spec(const FieldSpec& f) {
  const bool name_ok =
      !f.name.empty() && f.name.size() <= kFieldNameMax &&
      std::all_of(f.name.begin(), f.name.end(), [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
      });
  if (!name_ok) {
    throw DbfError(ErrorKind::Usage, "Недопустимое имя поля \"" + f.name + "\"");
  }
  const bool numeric = is_numeric(f.type);
  if (f.type != FieldType::Character && !numeric) {
    throw DbfError(ErrorKind::Usage, "Поле " + f.name + ": создаются только поля типов C и N");
  }
  const bool numeric_ok = f.width <= 20 && (f.decimals == 0 || f.decimals + 2 <= f.width);
  if (f.width == 0 || (numeric && !numeric_ok) || (!numeric && f.decimals != 0)) {
    throw DbfError(ErrorKind::Usage, "Поле " + f.name + ": недопустимая ширина или число знаков");
  }
}

}  // namespace

bool is_numeric(FieldType type) {
  return type == FieldType::Numeric || type == FieldType::Float;
}

std::optional<std::size_t> TableLayout::find(std::string_view name) const {
  const auto same = [name](const std::string& field) {
    return field.size() == name.size() &&
           std::equal(field.begin(), field.end(), name.begin(),
                      [](char a, char b) { return upper_ascii(a) == upper_ascii(b); });
  };
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (same(fields[i].name)) {
      return i;
    }
  }
  return std::nullopt;
}

TableLayout parse_layout(std::string_view head, std::uint64_t file_size) {
  if (head.size() < kHeaderSize) {
    damaged("файл короче заголовка");
  }
  TableLayout layout;
  TableHeader& h = layout.header;
  h.version = static_cast<std::uint8_t>(head[kOffVersion]);
  h.last_update = {1900 + static_cast<unsigned char>(head[kOffDate]),
                   static_cast<unsigned char>(head[kOffDate + 1]),
                   static_cast<unsigned char>(head[kOffDate + 2])};
  h.record_count = u32_at(head, kOffRecordCount);
  h.header_length = u16_at(head, kOffHeaderLength);
  h.record_length = u16_at(head, kOffRecordLength);
  h.production_index = head[kOffProductionIndex] != 0;
  h.language_driver = static_cast<std::uint8_t>(head[kOffLanguageDriver]);

  // 32 + 32n + 1; dBase III writers add a 0x00 after the terminator and count it.
  std::size_t terminator_at = 0;
  if (h.header_length >= kHeaderSize + kDescriptorSize + 1 && (h.header_length - 33) % 32 == 0) {
    terminator_at = h.header_length - 1u;
  } else if (h.header_length >= kHeaderSize + kDescriptorSize + 2 && (h.header_length - 34) % 32 == 0) {
    terminator_at = h.header_length - 2u;
  } else {
    damaged("неверная длина заголовка " + std::to_string(h.header_length));
  }
  if (head.size() < h.header_length || file_size < h.header_length) {
    damaged("файл короче заголовка");
  }
  if (static_cast<unsigned char>(head[terminator_at]) != kHeaderTerminator ||
      (terminator_at + 2 == h.header_length && head[terminator_at + 1] != 0)) {
    damaged("нет признака конца заголовка");
  }

  const std::size_t count = (terminator_at - kHeaderSize) / kDescriptorSize;
  std::size_t offset = 1;
  std::set<std::string> names;
  for (std::size_t i = 0; i < count; ++i) {
    const std::string_view d = head.substr(kHeaderSize + i * kDescriptorSize, kDescriptorSize);
    if (static_cast<unsigned char>(d[0]) == kHeaderTerminator) {
      damaged("описаний полей меньше, чем указано в заголовке");
    }
    Field f;
    std::string_view raw_name = d.substr(0, kFieldNameMax + 1);
    raw_name = raw_name.substr(0, std::min(raw_name.find('\0'), raw_name.size()));
    while (!raw_name.empty() && raw_name.back() == ' ') {
      raw_name.remove_suffix(1);
    }
    f.name = std::string(raw_name);
    if (f.name.empty() || !names.insert(upper(f.name)).second) {
      damaged("пустое или повторное имя поля №" + std::to_string(i + 1));
    }
    if (!known_type(d[kOffFieldType])) {
      damaged("неизвестный тип поля " + f.name);
    }
    f.type = static_cast<FieldType>(d[kOffFieldType]);
    f.width = static_cast<std::uint8_t>(d[kOffFieldWidth]);
    f.decimals = static_cast<std::uint8_t>(d[kOffFieldDecimals]);
    f.has_tag = d[kOffFieldHasTag] != 0;
    if (f.width == 0) {
      damaged("нулевая ширина поля " + f.name);
    }
    f.offset = offset;
    offset += f.width;
    layout.fields.push_back(std::move(f));
  }
  if (offset != h.record_length) {
    damaged("длина записи " + std::to_string(h.record_length) + " не равна сумме ширин полей");
  }
  if (file_size < layout.data_end()) {
    damaged("файл короче, чем указано записей в заголовке");
  }
  return layout;
}

std::string build_header(const std::vector<FieldSpec>& fields, std::uint8_t language_driver,
                         const CalendarDate& date) {
  constexpr std::size_t kMaxFields = 255;
  if (fields.empty() || fields.size() > kMaxFields) {
    throw DbfError(ErrorKind::Usage, "Таблица должна иметь от 1 до 255 полей");
  }
  std::set<std::string> names;
  std::size_t record_length = 1;
  for (const FieldSpec& f : fields) {
    check_spec(f);
    if (!names.insert(upper(f.name)).second) {
      throw DbfError(ErrorKind::Usage, "Повторное имя поля " + f.name);
    }
    record_length += f.width;
  }
  if (record_length > 0xFFFF) {
    throw DbfError(ErrorKind::Usage, "Слишком длинная запись");
  }
  const std::size_t header_length = kHeaderSize + kDescriptorSize * fields.size() + 1;
  std::string b(header_length, '\0');
  b[kOffVersion] = static_cast<char>(kVersionDbase);
  b.replace(kOffDate, 7, date_and_count_bytes(date, 0));
  put_u16(b, kOffHeaderLength, static_cast<std::uint16_t>(header_length));
  put_u16(b, kOffRecordLength, static_cast<std::uint16_t>(record_length));
  b[kOffLanguageDriver] = static_cast<char>(language_driver);
  for (std::size_t i = 0; i < fields.size(); ++i) {
    const std::size_t at = kHeaderSize + i * kDescriptorSize;
    const std::string name = upper(fields[i].name);
    b.replace(at, name.size(), name);
    b[at + kOffFieldType] = static_cast<char>(fields[i].type);
    b[at + kOffFieldWidth] = static_cast<char>(fields[i].width);
    b[at + kOffFieldDecimals] = static_cast<char>(fields[i].decimals);
  }
  b[header_length - 1] = static_cast<char>(kHeaderTerminator);
  return b;
}

std::string date_and_count_bytes(const CalendarDate& date, std::uint32_t record_count) {
  std::string b(7, '\0');
  b[0] = static_cast<char>(std::clamp(date.year - 1900, 0, 255));
  b[1] = static_cast<char>(date.month);
  b[2] = static_cast<char>(date.day);
  put_u32(b, 3, record_count);
  return b;
}

}  // namespace vkt::dbf
