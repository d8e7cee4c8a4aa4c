#include "store/measurement/measurementschema.h"

namespace vkt::measurement {

namespace {

constexpr std::uint8_t kFloatDecimals = 9;

}  // namespace

dbf::FieldSpec field_spec(const MeasurementField& field) {
  dbf::FieldSpec descriptor;
  descriptor.name = std::string(field.name);
  descriptor.width = field.width;
  switch (field.kind) {
    case ValueKind::Float:
      descriptor.type = dbf::FieldType::Numeric;
      descriptor.decimals = kFloatDecimals;
      break;
    case ValueKind::Smallint:
    case ValueKind::Integer:
      descriptor.type = dbf::FieldType::Numeric;
      break;
    case ValueKind::Text:
      descriptor.type = dbf::FieldType::Character;
      break;
  }
  return descriptor;
}

std::vector<dbf::FieldSpec> measurement_field_specs() {
  std::vector<dbf::FieldSpec> descriptors;
  descriptors.reserve(kMeasurementFields.size());
  for (const MeasurementField& f : kMeasurementFields) {
    descriptors.push_back(field_spec(f));
  }
  return descriptors;
}

}  // namespace vkt::measurement
